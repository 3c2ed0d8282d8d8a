// Stands in for hollisvc in console tests: appends its arguments, one line per run, to
// the file "launches" in its own folder.

#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char* argv[]) {
    std::string line;
    for (int i = 1; i < argc; ++i)
        line += (i > 1 ? " " : "") + std::string(argv[i]);
    std::ofstream(std::filesystem::path(argv[0]).parent_path() / "launches", std::ios::app)
        << line + "\n"
        << std::flush;
    return 0;
}
