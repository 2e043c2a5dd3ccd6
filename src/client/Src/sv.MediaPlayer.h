// sv.MediaPlayer: the media object the player drives: one sound file, loaded, played,
// stopped and measured. Created, loaded, started and released on the main thread;
// CurrentTime and Duration may be read from any thread (the object publishes them
// itself, so a reader never calls into the audio output).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class QString;

class IMediaPlayer {
public:
    IMediaPlayer() = default;
    virtual ~IMediaPlayer() = default;
    IMediaPlayer(const IMediaPlayer &) = delete;
    IMediaPlayer &operator=(const IMediaPlayer &) = delete;

    // Loads a local sound file; raises when it does not exist or cannot be decoded.
    virtual void SetFileName(const QString &fileName) = 0;
    // 0.0 is silence, 1.0 full volume.
    virtual void SetVolume(float volume) = 0;
    // Starts playback, or resumes it from the current position; raises when no
    // audio output can be opened.
    virtual void Play() = 0;
    // Stops the output; the position stays where it was.
    virtual void Stop() = 0;
    // In units of 100 ns; both 0 when nothing is loaded. Once playback has run to the
    // end, CurrentTime equals Duration exactly. Any thread.
    [[nodiscard]] virtual std::int64_t CurrentTime() const = 0;
    [[nodiscard]] virtual std::int64_t Duration() const = 0;
};

using TMediaPlayerFactory = std::function<std::unique_ptr<IMediaPlayer>()>;

// The program's media object: MP3 decoded by libmpg123, played on the default output.
std::unique_ptr<IMediaPlayer> CreateMediaPlayer();
