// pstwalk: times how long libpff takes to open a .pst file and to walk every
// folder and item the way the store layer does (folder by folder, item by
// position, a few values of each item). A probe for the benchmark.
#include <libpff.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* kUsage = "Usage: pstwalk FILE.pst [-v]\n"
                     "Opens FILE.pst with libpff, walks every folder and item and prints\n"
                     "  open S walk S items N folders N items/s R\n"
                     "  -v   also one line per folder (depth, item count, seconds)\n";

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

[[noreturn]] void fail(const char* what, libpff_error_t* error)
{
    char text[512] = {};
    if (error) {
        libpff_error_sprint(error, text, sizeof text);
        libpff_error_free(&error);
    }
    std::fprintf(stderr, "pstwalk: %s: %s\n", what, text);
    std::exit(2);
}

struct Walk {
    bool verbose = false;
    long items = 0;
    long folders = 0;
    long values = 0;

    // Reads the values a contact export needs most: class, display name, e-mail 1.
    void readItem(libpff_item_t* item)
    {
        libpff_error_t* error = nullptr;
        libpff_record_set_t* set = nullptr;
        if (libpff_item_get_record_set_by_index(item, 0, &set, &error) != 1)
            fail("cannot read the values of an item", error);
        for (std::uint32_t type : {0x001AU, 0x3001U, 0x8083U}) {
            libpff_record_entry_t* entry = nullptr;
            int found = libpff_record_set_get_entry_by_type(set, type, 0, &entry,
                                                            LIBPFF_ENTRY_VALUE_FLAG_MATCH_ANY_VALUE_TYPE, &error);
            if (found == -1)
                fail("cannot read a value", error);
            if (found == 1) {
                std::size_t size = 0;
                if (libpff_record_entry_get_data_size(entry, &size, &error) != 1)
                    fail("cannot read a value size", error);
                values += long(size > 0);
                libpff_record_entry_free(&entry, nullptr);
            }
        }
        libpff_record_set_free(&set, nullptr);
    }

    void folder(libpff_item_t* f, int depth)
    {
        libpff_error_t* error = nullptr;
        const auto start = Clock::now();
        ++folders;
        int count = 0;
        if (libpff_folder_get_number_of_sub_messages(f, &count, &error) != 1)
            fail("cannot count the items of a folder", error);
        for (int i = 0; i < count; ++i) {
            libpff_item_t* item = nullptr;
            if (libpff_folder_get_sub_message(f, i, &item, &error) != 1)
                fail("cannot open an item", error);
            readItem(item);
            libpff_item_free(&item, nullptr);
            ++items;
        }
        if (verbose)
            std::printf("%*sfolder: %d items, %.3f s\n", 2 * depth, "", count, since(start));
        int subfolders = 0;
        if (libpff_folder_get_number_of_sub_folders(f, &subfolders, &error) != 1)
            fail("cannot count the subfolders of a folder", error);
        for (int i = 0; i < subfolders; ++i) {
            libpff_item_t* sub = nullptr;
            if (libpff_folder_get_sub_folder(f, i, &sub, &error) != 1)
                fail("cannot open a subfolder", error);
            folder(sub, depth + 1);
            libpff_item_free(&sub, nullptr);
        }
    }
};

}  // namespace

int main(int argc, char** argv)
{
    const char* path = nullptr;
    Walk walk;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-v")) {
            walk.verbose = true;
        } else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!path) {
            path = argv[i];
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (!path) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    libpff_error_t* error = nullptr;
    libpff_file_t* file = nullptr;
    if (libpff_file_initialize(&file, &error) != 1)
        fail("cannot initialise libpff", error);
    const auto start = Clock::now();
    if (libpff_file_open(file, path, LIBPFF_OPEN_READ, &error) != 1)
        fail("cannot open the file", error);
    const double open = since(start);
    const auto walkStart = Clock::now();
    libpff_item_t* root = nullptr;
    if (libpff_file_get_root_folder(file, &root, &error) != 1)
        fail("cannot find the root folder", error);
    walk.folder(root, 0);
    libpff_item_free(&root, nullptr);
    const double walked = since(walkStart);
    libpff_file_close(file, nullptr);
    libpff_file_free(&file, nullptr);
    const double total = open + walked;
    std::printf("open %.3f s walk %.3f s items %ld folders %ld items/s %.0f\n", open, walked, walk.items, walk.folders,
                total > 0 ? double(walk.items) / total : 0.0);
    return 0;
}
