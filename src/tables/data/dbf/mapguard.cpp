#include "tables/data/dbf/mapguard.h"

#include "tables/data/tablesource.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace qf::tables {

namespace {
// The handler reads the ranges without locks: each slot is filled before its end is published
// and emptied before its map goes away.
constexpr int kSlots = 256;
struct TSlot {
    std::atomic<uintptr_t> Begin{0};
    std::atomic<uintptr_t> End{0};
    std::atomic<std::atomic<bool> *> Lost{nullptr};
};
TSlot Slots[kSlots];
std::mutex SlotLock;
struct sigaction Previous;
uintptr_t PageSize = 4096; // read once outside the handler
// Pages are let go a whole stretch at a time: each release costs a call and every page dropped a
// fault when read again, and dropping a few pages at a time made opening a large table markedly
// slower. A pass holds a stretch or two of the table in memory at most.
constexpr qint64 kReleaseStretch = 2 << 20;

void OnBus(int Signal, siginfo_t *Info, void *Context)
{
    const auto Address = reinterpret_cast<uintptr_t>(Info->si_addr);
    for (TSlot &Slot : Slots) {
        const uintptr_t End = Slot.End.load(std::memory_order_acquire);
        if (End == 0 || Address < Slot.Begin.load(std::memory_order_relaxed) || Address >= End)
            continue;
        void *Start = reinterpret_cast<void *>(Address & ~(PageSize - 1));
        if (mmap(Start, PageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) ==
            MAP_FAILED)
            break;
        if (std::atomic<bool> *Lost = Slot.Lost.load(std::memory_order_relaxed))
            Lost->store(true, std::memory_order_relaxed);
        return; // the read goes on over zeros; the reader sees Lost and reports the change
    }
    // Not one of ours: whoever handled it before, or the default (the fault repeats and ends the
    // program).
    if ((Previous.sa_flags & SA_SIGINFO) && Previous.sa_sigaction) {
        Previous.sa_sigaction(Signal, Info, Context);
    } else if (Previous.sa_handler != SIG_DFL && Previous.sa_handler != SIG_IGN) {
        Previous.sa_handler(Signal);
    } else {
        struct sigaction Default = {};
        Default.sa_handler = SIG_DFL;
        sigaction(SIGBUS, &Default, nullptr);
    }
}

void InstallHandler()
{
    static std::once_flag Once;
    std::call_once(Once, [] {
        PageSize = uintptr_t(sysconf(_SC_PAGESIZE));
        struct sigaction Action = {};
        Action.sa_sigaction = OnBus;
        Action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&Action.sa_mask);
        sigaction(SIGBUS, &Action, &Previous);
    });
}
} // namespace

const uchar *TMapGuard::Map(QFile &File, qint64 Size, std::atomic<bool> &Lost)
{
    Unmap();
    InstallHandler();
    FData = File.map(0, Size);
    if (!FData)
        return nullptr;
    FFile = &File;
    FSize = Size;
    std::lock_guard<std::mutex> Lock(SlotLock);
    for (int i = 0; i < kSlots; ++i)
        if (Slots[i].End.load(std::memory_order_relaxed) == 0 &&
            Slots[i].Begin.load(std::memory_order_relaxed) == 0) {
            Slots[i].Lost.store(&Lost, std::memory_order_relaxed);
            Slots[i].Begin.store(reinterpret_cast<uintptr_t>(FData), std::memory_order_relaxed);
            Slots[i].End.store(reinterpret_cast<uintptr_t>(FData) + uintptr_t(Size),
                               std::memory_order_release);
            FSlot = i;
            return FData;
        }
    // Every slot taken: an unguarded map could end the program, so the table is not opened.
    File.unmap(const_cast<uchar *>(FData));
    FData = nullptr;
    FFile = nullptr;
    throw EDatabaseError(QStringLiteral("Too many tables are open at once to open \"%1\" as well.")
                             .arg(File.fileName()));
}

void TMapGuard::Unmap()
{
    if (FSlot >= 0) {
        std::lock_guard<std::mutex> Lock(SlotLock);
        Slots[FSlot].End.store(0, std::memory_order_release);
        Slots[FSlot].Begin.store(0, std::memory_order_relaxed);
        Slots[FSlot].Lost.store(nullptr, std::memory_order_relaxed);
        FSlot = -1;
    }
    if (FFile && FData)
        FFile->unmap(const_cast<uchar *>(FData));
    FFile = nullptr;
    FData = nullptr;
    FSize = 0;
}

void TMapGuard::Release(const uchar *From, const uchar *To) const
{
    if (!FData || To <= From)
        return;
    const qint64 Begin = std::max<qint64>(From - FData, 0);
    const qint64 End = std::min<qint64>(To - FData, FSize);
    const qint64 First = Begin / kReleaseStretch * kReleaseStretch;
    const qint64 Last = End / kReleaseStretch * kReleaseStretch;
    if (Last > First)
        madvise(const_cast<uchar *>(FData) + First, size_t(Last - First), MADV_DONTNEED);
}

} // namespace qf::tables
