#pragma once

#include <string>

namespace plcsim
{

// A pseudo-terminal pair: the tool opens the slave path as its serial port, the simulator
// talks through the master. Both ends are raw (no echo, no CR/LF translation) and the master
// is non-blocking.
//
// A slave descriptor stays open here until hangUp(): without it, every time the tool closes
// the port the master would read EIO and the pair would be useless for the next open.
class PseudoTerminal
{
public:
    PseudoTerminal(); // throws std::runtime_error
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    int masterFd() const { return master_; } // -1 after hangUp()
    const std::string &slavePath() const { return slavePath_; }
    // True while bytes written to the master wait on the slave side for the tool to read.
    bool slaveHasUnread() const;

    // Closes both our ends, so the tool's side sees a hang-up. Not to be called while a
    // PlcEngine is serving this terminal on another thread.
    void hangUp();

private:
    int master_ = -1;
    int keptSlave_ = -1;
    std::string slavePath_;
};

} // namespace plcsim
