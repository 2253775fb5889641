// Fuzz target: gridprep's list of the files it wrote (gridprep_files.txt).
// Whatever the list holds, only plain relative paths inside the project are
// taken: nothing absolute, no "." or ".." parts, no empty parts.
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz_support.hpp"
#include "input_error.hpp"
#include "project_folder.hpp"

using fuzz_support::fail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string root = (fuzz_support::scratch_dir() / "project").string();
    std::filesystem::create_directories(root);
    fuzz_support::as_file(data, size, "project/gridprep_files.txt");
    try {
        const gridprep::FolderState s = gridprep::inspect_project_folder(root);
        if (!s.has_manifest) fail("manifest", "not found");
        for (const std::string& rel : s.listed) {
            if (rel.empty() || rel.front() == '/' || rel.back() == '/' || rel.find('\0') != std::string::npos)
                fail("a listed path", rel);
            for (const auto& part : std::filesystem::path(rel))
                if (part == "." || part == ".." || part.empty()) fail("a listed part", rel);
        }
    } catch (const hydro::InputError& e) {
        fuzz_support::check_message(e, root + "/gridprep_files.txt");
    }
    return 0;
}
