#pragma once
// One copy of the program per user. The first copy holds a lock file in the user's runtime
// directory and listens on a local socket there; a later copy finds the lock held, asks the
// first over the socket to bring its window forward, and ends. A copy that was killed leaves a
// lock whose process is gone, which the next copy takes over; a lock held by a running copy is
// never taken over, however long that copy has run.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace kivota {

class SingleInstance final : public QObject {
    Q_OBJECT

public:
    // `directory`: where the lock and the socket live (see defaultDirectory()).
    explicit SingleInstance(QString directory, QObject* parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR, else /tmp/kivota-<uid> (created private to the user).
    static QString defaultDirectory();

    // true: this is the first copy, and `raise` is called whenever a later copy starts.
    // false: another copy runs and has been asked to raise its window.
    bool bAcquire(std::function<void()> raise);

    QString lockPath() const;
    QString socketPath() const;

private:
    void vOnConnection();

    QString directory_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
    std::function<void()> raise_;
};

}  // namespace kivota
