// ReadingStore: the readings the service has accepted, their parts' texts and finished sound
// files (kept in memory, never on disk), the order in which parts are synthesised, the waits of
// requests for parts not yet ready, and the expiry that keeps memory bounded.
// Thread-safe: the HTTP handler threads add readings and wait for parts, the synthesis worker
// takes jobs and hands back results; one std::mutex guards everything.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace speechd {

struct StoreLimits {
    std::size_t MaxBytes = 256u << 20;           // sound files kept, all readings together
    std::size_t MaxReadings = 256;               // readings kept, finished or not
    std::chrono::seconds Expiry{30 * 60};        // a reading unused this long is dropped
    std::chrono::milliseconds PartWait{120'000}; // longest wait of a request for one part
};

// One part for the synthesis worker.
struct SynthesisJob {
    std::string ReadingId;
    std::size_t Index = 0;
    std::string Text;
    int Speed = 5;
    int Pitch = 2;
};

enum class PartAnswerKind { READY, UNKNOWN, FAILED, TIMED_OUT, SHUT_DOWN };

struct PartAnswer {
    PartAnswerKind Kind = PartAnswerKind::UNKNOWN;
    std::shared_ptr<const std::string> Mp3;
};

class ReadingStore final {
public:
    using Clock = std::chrono::steady_clock;
    explicit ReadingStore(StoreLimits limits = {},
                          std::function<Clock::time_point()> now = Clock::now);

    // Adds a reading and returns its id; older readings of the same client count as replaced
    // from now on: their parts are synthesised only when a request asks for them.
    std::string AddReading(const std::string &clientId, std::vector<std::string> parts, int speed,
                           int pitch);

    // The file name of part k of a reading: "<reading>-<k>.mp3".
    static std::string FileName(const std::string &readingId, std::size_t index);

    // Answers the part named `fileName`, waiting up to `limit` while it is being synthesised.
    PartAnswer WaitForPart(const std::string &fileName, std::chrono::milliseconds limit);

    // Worker side. TakeNextJob blocks until there is a part to synthesise, or answers nothing
    // after Shutdown. AbortFlag() turns true while the running job should give way to a newer
    // reading's first part; the worker then hands the job back with ReturnJob.
    std::optional<SynthesisJob> TakeNextJob();
    void FinishJob(const SynthesisJob &job, std::optional<std::string> mp3);
    void ReturnJob(const SynthesisJob &job);
    const std::atomic<bool> &AbortFlag() const { return FAbort; }

    // Wakes every waiter and the worker; later calls answer SHUT_DOWN or nothing.
    void Shutdown();

    std::size_t ReadingCount() const;
    std::size_t BytesKept() const;

private:
    enum class PartState { PENDING, RUNNING, READY, FAILED };
    struct Part {
        std::string Text;
        PartState State = PartState::PENDING;
        int Waiters = 0;
        std::shared_ptr<const std::string> Mp3;
    };
    struct Reading {
        std::uint64_t Sequence = 0;
        std::string ClientId;
        bool Replaced = false;
        int Speed = 5;
        int Pitch = 2;
        std::vector<Part> Parts;
        std::size_t Bytes = 0;
        Clock::time_point LastUse;
    };

    std::string new_reading_id_locked() const;
    Reading *find_locked(const std::string &readingId);
    std::optional<SynthesisJob> pick_job_locked();
    SynthesisJob start_job_locked(const std::string &id, Reading &reading, std::size_t index);
    bool in_use_locked(const std::string &id, const Reading &reading) const;
    void drop_locked(std::map<std::string, Reading>::iterator it);
    void expire_locked();
    void evict_to_limits_locked(const std::string &keep);

    const StoreLimits FLimits;
    const std::function<Clock::time_point()> FNow;
    mutable std::mutex FLock;
    std::condition_variable FWorkChanged; // the worker waits here for jobs
    std::condition_variable FPartChanged; // requests wait here for parts
    std::map<std::string, Reading> FReadings;
    std::uint64_t FNextSequence = 1;
    std::size_t FBytes = 0;
    std::optional<SynthesisJob> FRunning;
    std::atomic<bool> FAbort{false};
    bool FShutDown = false;
};

} // namespace speechd
