// scoutwire-fakegame: stands in for the game when the browser joins a
// server. It records how it was started: its working directory and each
// argument on a line of its own, in the file named by SCOUTWIRE_FAKEGAME_OUT
// (default fakegame-args.txt in the working directory):
//   cwd=<dir>
//   arg=<argv[1]>
//   arg=<argv[2]> ...

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv) {
    const char* out = std::getenv("SCOUTWIRE_FAKEGAME_OUT");
    const std::filesystem::path path = out != nullptr && *out != '\0' ? out : "fakegame-args.txt";
    std::error_code error;
    const std::filesystem::path cwd = std::filesystem::current_path(error);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        std::fprintf(stderr, "scoutwire-fakegame: cannot write %s\n", path.c_str());
        return 1;
    }
    file << "cwd=" << cwd.string() << '\n';
    for (int i = 1; i < argc; ++i)
        file << "arg=" << argv[i] << '\n';
    file.flush();
    return file ? 0 : 1;
}
