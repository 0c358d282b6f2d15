// One way to write an output file whole.
#include "output/output_file.h"

#include "output/create_folders.h"
#include "platform/platform.h"

bool write_output_file(const std::string& path, const std::function<void(Sink&)>& write,
                       std::string* made_folder) {
    size_t folder_end = path.rfind('\\');
    if (made_folder != nullptr && folder_end != std::string::npos && folder_end > 0 &&
        made_folder->compare(0, std::string::npos, path, 0, folder_end) != 0) {
        create_folders(path, folder_end);
        made_folder->assign(path, 0, folder_end);
    }
    platform::TextFile file;
    if (int error = file.open_write(path); error != 0) {
        platform::report_file_error("create", path, error);
        return false;
    }
    Sink out(file);
    write(out);
    out.flush();
    if (int error = file.close(); error != 0) {
        platform::report_file_error("write", path, error);
        return false;
    }
    return true;
}
