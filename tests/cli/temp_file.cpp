#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "cli_fixture.h"

namespace clitest {

TempFile::TempFile(const std::string& content, const std::string& suffix)
{
    std::string pattern = "/tmp/tervane-cli-test-XXXXXX" + suffix;
    int fd = ::mkstemps(pattern.data(), static_cast<int>(suffix.size()));
    if (fd < 0)
        throw std::runtime_error("mkstemps failed");
    ::close(fd);
    path_ = pattern;
    std::ofstream(path_, std::ios::binary) << content;
}

TempFile::~TempFile()
{
    std::remove(path_.c_str());
    std::remove((path_ + ".partial").c_str());
}

std::string TempFile::content() const
{
    std::ifstream file(path_, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

}  // namespace clitest
