// SelectionOwners: another program (xclip) that owns an X selection (primary or
// clipboard) with a given content and serves it until the object goes, as a program
// where the user marked text does. Needs the X server of scripts/test-env. Main
// test thread.
#pragma once

#include <QByteArray>
#include <QProcess>

#include <memory>
#include <vector>

class TSelectionOwners final {
public:
    TSelectionOwners() = default;
    ~TSelectionOwners();
    TSelectionOwners(const TSelectionOwners &) = delete;
    TSelectionOwners &operator=(const TSelectionOwners &) = delete;

    // Takes the selection ("primary" or "clipboard") with content of the given type
    // and returns once it owns it and Qt has seen the change; false if xclip failed.
    bool Own(const char *selection, const char *type, const QByteArray &content);

private:
    std::vector<std::unique_ptr<QProcess>> FOwners;
};
