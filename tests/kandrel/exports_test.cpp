// The plug-in's dynamic symbol table holds LDAPWndProc and nothing else of
// ours, and the plug-in does not link against the client library it loads.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "test_host.h"

namespace {

std::string run(const std::string& command)
{
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            output.append(buffer, n);
        }
        pclose(pipe);
    }
    return output;
}

TEST(Exports, OnlyLDAPWndProcIsExported)
{
    const std::string nm = KANDREL_NM[0] != '\0' ? KANDREL_NM : "nm";
    const std::string output =
        run(nm + " -D --defined-only '" + testhost::default_component_path() + "' 2>&1");
    std::istringstream lines(output);
    std::string line;
    std::vector<std::string> symbols;
    while (std::getline(lines, line)) {
        const std::size_t name = line.find_last_of(' ');
        if (name != std::string::npos) {
            symbols.push_back(line.substr(name + 1));
        }
    }
    EXPECT_EQ(symbols, std::vector<std::string>{"LDAPWndProc"}) << output;
}

TEST(Exports, ThePlugInDoesNotLinkTheClientLibrary)
{
    const std::string readelf = KANDREL_READELF[0] != '\0' ? KANDREL_READELF : "readelf";
    const std::string output = run(readelf + " -d '" + testhost::default_component_path() + "' 2>&1");
    ASSERT_NE(output.find("NEEDED"), std::string::npos) << output;
    EXPECT_EQ(output.find("libldap"), std::string::npos) << output;
    EXPECT_EQ(output.find("liblber"), std::string::npos) << output;
}

}  // namespace
