// libFuzzer target: the HTTP answer reader on arbitrary bytes, handed over in
// pieces of a size the input chooses. Any outcome but a clean answer or the
// reader's own error is a finding.
#include "http/HttpAnswer.h"
#include "http/HttpStream.h"
#include "sv.Exceptions.h"

#include <cstdint>
#include <cstring>

namespace {

class TMemoryStream final : public IHttpStream {
public:
    TMemoryStream(const uint8_t *data, size_t size, qint64 piece, bool unclean)
        : FData(data), FSize(size), FPiece(piece), FUnclean(unclean) {}
    qint64 Read(char *data, qint64 capacity) override {
        const qint64 n = qMin(qMin(capacity, FPiece), static_cast<qint64>(FSize - FOffset));
        std::memcpy(data, FData + FOffset, static_cast<size_t>(n));
        FOffset += static_cast<size_t>(n);
        return n;
    }
    void Write(const char *, qint64) override {}
    [[nodiscard]] bool EndedUncleanly() const override { return FUnclean && FOffset == FSize; }

private:
    const uint8_t *FData;
    size_t FSize;
    size_t FOffset = 0;
    qint64 FPiece;
    bool FUnclean;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const uint8_t control = data[0];
    TMemoryStream stream(data + 1, size - 1, 1 + (control & 0x3F) * 97, (control & 0x40) != 0);
    THttpAnswerReader reader(stream, (control & 0x80) != 0 ? 1 : THttpAnswerReader::kBufferSize);
    try {
        THttpAnswer answer = (control & 0x80) != 0 ? reader.ReadConnectHead() : reader.ReadHead();
        QByteArray kept;
        reader.ReadBody(answer, [&kept](const char *piece, qint64 length) {
            if (kept.size() < 4096) {
                kept.append(piece, qMin<qint64>(length, 4096));
            }
        });
        (void)answer.DecodeBody(kept);
        (void)answer.ContentLength();
    } catch (const Exception &) {
    }
    return 0;
}
