#include "plcdevicelink.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace plcsim
{

namespace
{

std::runtime_error linkError(const std::string &path, const char *what)
{
    return std::runtime_error(path + ": " + what + ": " + std::strerror(errno));
}

} // namespace

PlcDeviceLink::PlcDeviceLink(std::string path, std::string target)
    : path_(std::move(path)), target_(std::move(target))
{
    struct stat existing = {};
    if (::lstat(path_.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode))
        throw std::runtime_error(path_ + ": exists and is not a symbolic link; not replacing it");
    // Made beside the old link and renamed over it, so the name never dangles.
    const std::string fresh = path_ + ".plcsim-" + std::to_string(::getpid());
    if (::symlink(target_.c_str(), fresh.c_str()) != 0)
        throw linkError(fresh, "symlink");
    if (::rename(fresh.c_str(), path_.c_str()) != 0) {
        const auto error = linkError(path_, "rename");
        ::unlink(fresh.c_str());
        throw error;
    }
}

PlcDeviceLink::~PlcDeviceLink()
{
    // Another simulator may have taken the name over since; its link is not ours to remove.
    std::error_code error;
    if (std::filesystem::read_symlink(path_, error) == target_ && !error)
        ::unlink(path_.c_str());
}

} // namespace plcsim
