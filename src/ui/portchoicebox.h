#pragma once

#include <QComboBox>

// The port list. Each entry's tool tip tells the device behind that COM number and whether it
// is there, looked up afresh whenever the list opens, so an adapter plugged in or a ports file
// edited since shows at once.
class PortChoiceBox final : public QComboBox
{
public:
    using QComboBox::QComboBox;
    void showPopup() override;

protected:
    bool event(QEvent *event) override;

private:
    void describeEntries();
};
