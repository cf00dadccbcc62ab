#include "app/single_instance.h"

#include <QDir>
#include <QLocalSocket>

#include <unistd.h>

namespace kivota {

namespace {

constexpr const char* kRaiseRequest = "raise\n";
constexpr int kConnectWaitMs = 2000;

}  // namespace

SingleInstance::SingleInstance(QString directory, QObject* parent) : QObject(parent), directory_(std::move(directory)) {
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::vOnConnection);
}

SingleInstance::~SingleInstance() {
    server_.close();
    if (lock_) lock_->unlock();
}

QString SingleInstance::defaultDirectory() {
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) return runtime;
    QString fallback = QStringLiteral("/tmp/kivota-%1").arg(::getuid());
    QDir().mkpath(fallback);
    QFile::setPermissions(fallback, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return fallback;
}

QString SingleInstance::lockPath() const { return directory_ + QStringLiteral("/kivota.lock"); }

QString SingleInstance::socketPath() const { return directory_ + QStringLiteral("/kivota.socket"); }

bool SingleInstance::bAcquire(std::function<void()> raise) {
    lock_ = std::make_unique<QLockFile>(lockPath());
    // Age alone never makes a lock stale: only a lock whose process has gone is taken over
    // (the default of 30 s would let a later copy take the lock from a long-running first one).
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        raise_ = std::move(raise);
        // A socket left behind by a killed copy is ours to replace: we hold the lock.
        QLocalServer::removeServer(socketPath());
        server_.setSocketOptions(QLocalServer::UserAccessOption);
        server_.listen(socketPath());
        return true;
    }
    lock_.reset();
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (socket.waitForConnected(kConnectWaitMs)) {
        socket.write(kRaiseRequest);
        socket.waitForBytesWritten(kConnectWaitMs);
        socket.disconnectFromServer();
    }
    return false;
}

void SingleInstance::vOnConnection() {
    while (QLocalSocket* client = server_.nextPendingConnection()) {
        connect(client, &QLocalSocket::readyRead, this, [this, client] {
            if (client->readAll().contains("raise") && raise_) raise_();
        });
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    }
}

}  // namespace kivota
