// Stands in for MorvaneCore in process-control tests: appends its arguments
// as one line to "launches.log" beside itself, then waits to be killed (and
// gives up on its own after two minutes so that nothing is left behind).
#include <climits>
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char **argv)
{
    char self[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return 1;
    std::string dir(self, size_t(n));
    dir.erase(dir.rfind('/'));
    std::string line;
    for (int i = 1; i < argc; ++i)
        line += (i > 1 ? "\t" : "") + std::string(argv[i]);
    line += '\n';
    if (FILE *log = std::fopen((dir + "/launches.log").c_str(), "a")) {
        std::fputs(line.c_str(), log);
        std::fclose(log);
    }
    alarm(120);
    for (;;)
        pause();
}
