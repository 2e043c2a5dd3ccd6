#include "SynthesisWorker.h"

#include "ReadingStore.h"
#include "Synthesizer.h"

#include <cstdio>
#include <exception>

namespace speechd {

SynthesisWorker::SynthesisWorker(ReadingStore &store, ISynthesizer &synthesizer)
    : FStore(store), FSynthesizer(synthesizer), FThread([this] { run(); }) {}

SynthesisWorker::~SynthesisWorker() {
    FStore.Shutdown();
    FThread.join();
}

void SynthesisWorker::run() {
    while (auto job = FStore.TakeNextJob()) {
        try {
            SynthesisResult result =
                FSynthesizer.Synthesize(job->Text, job->Speed, job->Pitch, FStore.AbortFlag());
            if (result.Aborted) {
                FStore.ReturnJob(*job);
            } else {
                FStore.FinishJob(*job, std::move(result.Mp3));
            }
        } catch (const std::exception &error) {
            std::fprintf(stderr, "synthesis of %s failed: %s\n",
                         ReadingStore::FileName(job->ReadingId, job->Index).c_str(), error.what());
            FStore.FinishJob(*job, std::nullopt);
        }
    }
}

} // namespace speechd
