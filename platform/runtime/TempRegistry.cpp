#include "TempRegistry.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kSlots = 32;
constexpr int kMaxDepth = 8;

enum SlotState : int { Free = 0, Filling = 1, File = 2, Directory = 3 };

struct Slot {
    std::atomic<int> State{Free};
    char Path[PATH_MAX];
};

Slot gSlots[kSlots];

// Removes the contents of an open folder, then closes it. Only system calls, so
// that a signal handler may use it.
void EmptyDirectory(int fd, int depth)
{
    alignas(8) char buffer[4096];
    for (;;) {
        const long n = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bool removedAny = false;
        for (long offset = 0; offset < n;) {
            struct Entry {
                ino64_t Inode;
                off64_t Offset;
                unsigned short Length;
                unsigned char Type;
                char Name[1];
            };
            const auto* entry = reinterpret_cast<const Entry*>(buffer + offset);
            offset += entry->Length;
            const char* name = entry->Name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            if (entry->Type == DT_DIR && depth < kMaxDepth) {
                const int sub = openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub >= 0) {
                    EmptyDirectory(sub, depth + 1);
                    removedAny |= unlinkat(fd, name, AT_REMOVEDIR) == 0;
                }
            } else {
                removedAny |= unlinkat(fd, name, 0) == 0;
            }
        }
        if (removedAny)
            lseek(fd, 0, SEEK_SET); // entries moved while we removed them: read again
    }
    close(fd);
}

} // namespace

namespace TempRegistry {

int Add(const QByteArray& path, bool isDirectory)
{
    if (path.isEmpty() || path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = Free;
        if (!gSlots[i].State.compare_exchange_strong(expected, Filling))
            continue;
        std::memcpy(gSlots[i].Path, path.constData(), static_cast<std::size_t>(path.size()));
        gSlots[i].Path[path.size()] = 0;
        gSlots[i].State.store(isDirectory ? Directory : File, std::memory_order_release);
        return i;
    }
    return -1;
}

void Remove(int slot)
{
    if (slot >= 0 && slot < kSlots)
        gSlots[slot].State.store(Free, std::memory_order_release);
}

void RemoveAll()
{
    for (Slot& slot : gSlots) {
        const int state = slot.State.load(std::memory_order_acquire);
        if (state == File) {
            unlink(slot.Path);
        } else if (state == Directory) {
            const int fd = open(slot.Path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0)
                EmptyDirectory(fd, 0);
            rmdir(slot.Path);
        }
    }
}

} // namespace TempRegistry

static_assert(sizeof(sigset_t) <= 128, "the saved signal mask must fit");

TStopSignalsHeld::TStopSignalsHeld()
{
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop, reinterpret_cast<sigset_t*>(FOld));
}

TStopSignalsHeld::~TStopSignalsHeld()
{
    pthread_sigmask(SIG_SETMASK, reinterpret_cast<const sigset_t*>(FOld), nullptr);
}
