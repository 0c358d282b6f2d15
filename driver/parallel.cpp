// Work on every core, shown as one thread would show it.
#include "driver/parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <utility>
#include <vector>

#include "platform/platform.h"

void for_each_in_order(uint32_t count, unsigned jobs, const std::function<void(uint32_t index, unsigned worker)>& task) {
    if (jobs == 0) jobs = 1;
    if (jobs > count) jobs = count == 0 ? 1 : count;
    std::atomic<uint32_t> next{0};
    platform::Mutex mutex;
    // What each finished task printed, until every task before it has printed too.
    std::vector<std::vector<platform::ConsoleCapture::Chunk>> held(count);
    std::vector<uint8_t> done(count, 0);
    uint32_t shown = 0;
    // A task that throws (runs out of memory, say) ends the work: the tasks not yet
    // begun are left, and the exception goes on from the calling thread.
    std::exception_ptr thrown;
    platform::run_threads(jobs, [&](unsigned worker) {
        for (uint32_t index = next++; index < count; index = next++) {
            std::vector<platform::ConsoleCapture::Chunk> printed;
            try {
                platform::ConsoleCapture capture;
                task(index, worker);
                printed = std::move(capture.chunks);
            } catch (...) {
                platform::Locked locked(mutex);
                if (!thrown) thrown = std::current_exception();
                next = count;
            }
            platform::Locked locked(mutex);
            held[index] = std::move(printed);
            done[index] = 1;
            for (; shown < count && done[shown]; ++shown) {
                platform::print_captured(held[shown]);
                held[shown] = {};
            }
        }
    });
    if (thrown) std::rethrow_exception(thrown);
}

bool write_files_at_once(const std::vector<OutputFile>& files, const std::string& folder, unsigned jobs) {
    std::vector<uint8_t> written(files.size(), 0);
    for_each_in_order(static_cast<uint32_t>(files.size()), jobs, [&](uint32_t i, unsigned) {
        written[i] = write_output_file(folder + files[i].name, files[i].write);
    });
    return std::find(written.begin(), written.end(), 0) == written.end();
}
