// Stands in for hollisvc in console tests: appends its arguments, one line per run, to
// the file "launches" in its own folder, says "ran" and its arguments on standard output,
// and ends with the number held in the file "status" there (0 without one).

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char* argv[]) {
    const std::filesystem::path folder = std::filesystem::path(argv[0]).parent_path();
    std::string line;
    for (int i = 1; i < argc; ++i)
        line += (i > 1 ? " " : "") + std::string(argv[i]);
    std::ofstream(folder / "launches", std::ios::app) << line + "\n" << std::flush;
    std::cout << "ran " << line << std::endl;
    int status = 0;
    std::ifstream(folder / "status") >> status;
    return status;
}
