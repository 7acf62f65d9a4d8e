#pragma once

#include <string>

namespace plcsim
{

// A symbolic link to the terminal under a fixed name, so the tool can keep one port name
// across runs. Replaces an earlier link but never another kind of file.
class PlcDeviceLink
{
public:
    PlcDeviceLink(std::string path, std::string target); // throws std::runtime_error
    ~PlcDeviceLink();
    PlcDeviceLink(const PlcDeviceLink &) = delete;
    PlcDeviceLink &operator=(const PlcDeviceLink &) = delete;

    const std::string &path() const { return path_; }

private:
    std::string path_;
    std::string target_;
};

} // namespace plcsim
