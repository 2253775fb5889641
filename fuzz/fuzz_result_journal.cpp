// Fuzz target: recovery from a result set's journal, in a scratch output
// folder holding results, temporary files of them and a file beside the
// folder. Whatever the journal holds, recovery either refuses it (and
// changes nothing) or renames only temporary files of results over their
// results in that folder; the file beside the folder is never touched.
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "fuzz_support.hpp"
#include "input_error.hpp"
#include "result_set.hpp"

using fuzz_support::fail;
namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> contents(const fs::path& dir) {
    std::map<std::string, std::string> m;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        std::string text = e.is_symlink() ? "link" : e.is_directory() ? "folder" : "";
        if (e.is_regular_file()) {
            std::FILE* f = std::fopen(e.path().c_str(), "rb");
            char buf[64];
            const std::size_t n = f ? std::fread(buf, 1, sizeof buf, f) : 0;
            if (f) std::fclose(f);
            text.assign(buf, n);
        }
        m[fs::relative(e.path(), dir).string()] = text;
    }
    return m;
}

void plant(const fs::path& base) {
    fs::remove_all(base);
    fs::create_directories(base / "output");
    for (const char* name : {"output/q_tot.txt", "output/.q_tot.txt.tmp.1.1", "output/uh_river.txt",
                             "output/.uh_river.txt.tmp.1.1", "outside.txt", ".outside.txt.tmp.1.1"})
        fuzz_support::as_file(reinterpret_cast<const uint8_t*>(name), 8, (fs::path("journal") / name).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const fs::path base = fuzz_support::scratch_dir() / "journal";
    plant(base);
    fuzz_support::as_file(data, size, "journal/output/.result-set.journal");
    const auto before = contents(base);
    try {
        hydro::recover_result_sets((base / "output").string());
        const auto after = contents(base);
        if (after.at("outside.txt") != before.at("outside.txt")) fail("recovery", "the file beside the folder changed");
        if (after.at("output/uh_river.txt") != before.at("output/uh_river.txt")) fail("recovery", "an input changed");
    } catch (const hydro::OutputError& e) {
        if (contents(base) != before) fail("a refused journal", std::string("changed files: ") + e.what());
    }
    return 0;
}
