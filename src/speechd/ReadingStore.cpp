#include "ReadingStore.h"

#include <algorithm>
#include <charconv>
#include <random>

namespace speechd {
namespace {

constexpr std::string_view kMp3Suffix = ".mp3";

// Splits "<reading>-<k>.mp3" into its reading id and part index.
bool ParseFileName(const std::string &fileName, std::string &readingId, std::size_t &index) {
    if (fileName.size() <= kMp3Suffix.size() ||
        fileName.compare(fileName.size() - kMp3Suffix.size(), kMp3Suffix.size(), kMp3Suffix) != 0) {
        return false;
    }
    const std::string_view stem(fileName.data(), fileName.size() - kMp3Suffix.size());
    const std::size_t dash = stem.rfind('-');
    if (dash == std::string_view::npos || dash == 0 || dash + 1 == stem.size() ||
        stem.size() - dash > 8) {
        return false;
    }
    const char *first = stem.data() + dash + 1;
    const char *last = stem.data() + stem.size();
    const auto [ptr, ec] = std::from_chars(first, last, index);
    if (ec != std::errc() || ptr != last) {
        return false;
    }
    readingId.assign(stem.substr(0, dash));
    return true;
}

} // namespace

ReadingStore::ReadingStore(StoreLimits limits, std::function<Clock::time_point()> now)
    : FLimits(limits), FNow(std::move(now)) {}

std::string ReadingStore::FileName(const std::string &readingId, std::size_t index) {
    return readingId + "-" + std::to_string(index) + std::string(kMp3Suffix);
}

std::string ReadingStore::new_reading_id_locked() const {
    static constexpr char kHex[] = "0123456789abcdef";
    std::random_device random;
    while (true) {
        std::string id;
        for (int word = 0; word < 3; ++word) {
            std::uint32_t bits = random();
            for (int digit = 0; digit < 8; ++digit) {
                id += kHex[bits & 0xF];
                bits >>= 4;
            }
        }
        if (FReadings.find(id) == FReadings.end()) {
            return id;
        }
    }
}

std::string ReadingStore::AddReading(const std::string &clientId, std::vector<std::string> parts,
                                     int speed, int pitch) {
    std::lock_guard lock(FLock);
    expire_locked();
    if (!clientId.empty()) {
        for (auto &[id, reading] : FReadings) {
            if (reading.ClientId == clientId) {
                reading.Replaced = true;
            }
        }
    }
    std::string id = new_reading_id_locked();
    if (parts.empty()) {
        return id;
    }
    Reading reading;
    reading.Sequence = FNextSequence++;
    reading.ClientId = clientId;
    reading.Speed = speed;
    reading.Pitch = pitch;
    reading.LastUse = FNow();
    reading.Parts.reserve(parts.size());
    for (auto &text : parts) {
        reading.Parts.push_back(Part{std::move(text), PartState::PENDING, 0, nullptr});
    }
    FReadings.emplace(id, std::move(reading));
    if (FRunning && FRunning->Index != 0) {
        FAbort = true; // the new first part goes ahead of the running part
    }
    evict_to_limits_locked(id);
    FWorkChanged.notify_all();
    return id;
}

PartAnswer ReadingStore::WaitForPart(const std::string &fileName, std::chrono::milliseconds limit) {
    std::string id;
    std::size_t index = 0;
    if (!ParseFileName(fileName, id, index)) {
        return {PartAnswerKind::UNKNOWN, nullptr};
    }
    std::unique_lock lock(FLock);
    Reading *reading = find_locked(id);
    if (FShutDown) {
        return {PartAnswerKind::SHUT_DOWN, nullptr};
    }
    if (reading == nullptr || index >= reading->Parts.size()) {
        return {PartAnswerKind::UNKNOWN, nullptr};
    }
    reading->LastUse = FNow();
    ++reading->Parts[index].Waiters;
    FWorkChanged.notify_all();
    const auto settled = [&] {
        Reading *r = find_locked(id);
        return FShutDown || r == nullptr || r->Parts[index].State == PartState::READY ||
               r->Parts[index].State == PartState::FAILED;
    };
    const bool done = FPartChanged.wait_for(lock, limit, settled);
    reading = find_locked(id);
    if (reading == nullptr) {
        return {FShutDown ? PartAnswerKind::SHUT_DOWN : PartAnswerKind::UNKNOWN, nullptr};
    }
    Part &part = reading->Parts[index];
    --part.Waiters;
    reading->LastUse = FNow();
    if (part.State == PartState::READY) {
        return {PartAnswerKind::READY, part.Mp3};
    }
    if (part.State == PartState::FAILED) {
        return {PartAnswerKind::FAILED, nullptr};
    }
    return {FShutDown ? PartAnswerKind::SHUT_DOWN
                      : (done ? PartAnswerKind::UNKNOWN : PartAnswerKind::TIMED_OUT),
            nullptr};
}

std::optional<SynthesisJob> ReadingStore::TakeNextJob() {
    std::unique_lock lock(FLock);
    while (!FShutDown) {
        expire_locked();
        if (auto job = pick_job_locked()) {
            return job;
        }
        FWorkChanged.wait_for(lock, std::chrono::seconds(30));
    }
    return std::nullopt;
}

std::optional<SynthesisJob> ReadingStore::pick_job_locked() {
    std::vector<std::pair<const std::string *, Reading *>> bySequence;
    bySequence.reserve(FReadings.size());
    for (auto &[id, reading] : FReadings) {
        bySequence.emplace_back(&id, &reading);
    }
    std::sort(bySequence.begin(), bySequence.end(),
              [](const auto &a, const auto &b) { return a.second->Sequence < b.second->Sequence; });
    // 1. The newest reading's first part goes ahead of everything else.
    for (auto it = bySequence.rbegin(); it != bySequence.rend(); ++it) {
        const Part &first = it->second->Parts.front();
        if (first.State == PartState::PENDING && (!it->second->Replaced || first.Waiters > 0)) {
            return start_job_locked(*it->first, *it->second, 0);
        }
    }
    // 2. Parts that a request waits for, then 3. the rest of readings not replaced, in order.
    for (const bool waitedOnly : {true, false}) {
        for (auto &[id, reading] : bySequence) {
            if (!waitedOnly && reading->Replaced) {
                continue;
            }
            for (std::size_t k = 0; k < reading->Parts.size(); ++k) {
                const Part &part = reading->Parts[k];
                if (part.State == PartState::PENDING && (!waitedOnly || part.Waiters > 0)) {
                    return start_job_locked(*id, *reading, k);
                }
            }
        }
    }
    return std::nullopt;
}

SynthesisJob ReadingStore::start_job_locked(const std::string &id, Reading &reading,
                                            std::size_t index) {
    reading.Parts[index].State = PartState::RUNNING;
    FRunning = SynthesisJob{id, index, reading.Parts[index].Text, reading.Speed, reading.Pitch};
    FAbort = false;
    return *FRunning;
}

void ReadingStore::FinishJob(const SynthesisJob &job, std::optional<std::string> mp3) {
    std::lock_guard lock(FLock);
    FRunning.reset();
    FAbort = false;
    Reading *reading = find_locked(job.ReadingId);
    if (reading != nullptr && job.Index < reading->Parts.size()) {
        Part &part = reading->Parts[job.Index];
        if (mp3) {
            reading->Bytes += mp3->size();
            FBytes += mp3->size();
            part.Mp3 = std::make_shared<const std::string>(std::move(*mp3));
            part.State = PartState::READY;
        } else {
            part.State = PartState::FAILED;
        }
        evict_to_limits_locked(job.ReadingId);
    }
    FPartChanged.notify_all();
}

void ReadingStore::ReturnJob(const SynthesisJob &job) {
    std::lock_guard lock(FLock);
    FRunning.reset();
    FAbort = false;
    Reading *reading = find_locked(job.ReadingId);
    if (reading != nullptr && job.Index < reading->Parts.size()) {
        reading->Parts[job.Index].State = PartState::PENDING;
    }
    FWorkChanged.notify_all();
}

void ReadingStore::Shutdown() {
    std::lock_guard lock(FLock);
    FShutDown = true;
    FAbort = true;
    FWorkChanged.notify_all();
    FPartChanged.notify_all();
}

std::size_t ReadingStore::ReadingCount() const {
    std::lock_guard lock(FLock);
    return FReadings.size();
}

std::size_t ReadingStore::BytesKept() const {
    std::lock_guard lock(FLock);
    return FBytes;
}

ReadingStore::Reading *ReadingStore::find_locked(const std::string &readingId) {
    const auto it = FReadings.find(readingId);
    return it == FReadings.end() ? nullptr : &it->second;
}

bool ReadingStore::in_use_locked(const std::string &id, const Reading &reading) const {
    if (FRunning && FRunning->ReadingId == id) {
        return true;
    }
    return std::any_of(reading.Parts.begin(), reading.Parts.end(),
                       [](const Part &part) { return part.Waiters > 0; });
}

void ReadingStore::drop_locked(std::map<std::string, Reading>::iterator it) {
    FBytes -= it->second.Bytes;
    FReadings.erase(it);
    FPartChanged.notify_all();
}

void ReadingStore::expire_locked() {
    const auto now = FNow();
    for (auto it = FReadings.begin(); it != FReadings.end();) {
        const auto next = std::next(it);
        if (now - it->second.LastUse > FLimits.Expiry && !in_use_locked(it->first, it->second)) {
            drop_locked(it);
        }
        it = next;
    }
}

// Drops readings until the limits hold: replaced readings first, then the least recently used;
// never `keep`, the running one or one that a request waits for.
void ReadingStore::evict_to_limits_locked(const std::string &keep) {
    while (FBytes > FLimits.MaxBytes || FReadings.size() > FLimits.MaxReadings) {
        auto victim = FReadings.end();
        for (auto it = FReadings.begin(); it != FReadings.end(); ++it) {
            if (it->first == keep || in_use_locked(it->first, it->second)) {
                continue;
            }
            if (victim == FReadings.end() ||
                std::pair(!it->second.Replaced, it->second.LastUse) <
                    std::pair(!victim->second.Replaced, victim->second.LastUse)) {
                victim = it;
            }
        }
        if (victim == FReadings.end()) {
            return;
        }
        drop_locked(victim);
    }
}

} // namespace speechd
