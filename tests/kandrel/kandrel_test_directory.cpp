// Starts the directory of the Kandrel tests (directory_server.h) for test
// programs that cannot start it themselves, the Windows ones under wine:
// writes its URI to FILE once it answers and serves until SIGTERM or SIGINT,
// then stops it by its pid.
//
//   kandrel_test_directory --uri-file FILE
#include <signal.h>

#include <cstring>
#include <fstream>
#include <iostream>

#include "directory_server.h"

int main(int argc, char** argv)
{
    if (argc != 3 || std::strcmp(argv[1], "--uri-file") != 0) {
        std::cerr << "usage: kandrel_test_directory --uri-file FILE\n";
        return 2;
    }
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGINT);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);
    try {
        slapd::Server& server = kandrel_test::directory();
        std::ofstream(argv[2]) << server.uri() << "\n";
        int signal = 0;
        sigwait(&ending, &signal);
        server.stop();
    } catch (const std::exception& e) {
        std::cerr << "kandrel_test_directory: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
