#include "viewer/alerts/SoundPlayer.h"

#include <QFileInfo>

#include "platform/EventLog.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {
namespace {

constexpr int kStartWaitMs = 2000;
constexpr std::size_t kMaxLoggedFailures = 64;  // distinct texts remembered

}  // namespace

SoundPlayer::SoundPlayer(QString device, EventLog* log, QString program, QObject* parent)
    : QObject(parent), device_(std::move(device)), program_(std::move(program)), log_(log) {
    if (!log_) {
        ownLog_ = std::make_unique<SyslogEventLog>("Tarvell");
        log_ = ownLog_.get();
    }
}

SoundPlayer::~SoundPlayer() { Stop(); }

QStringList SoundPlayer::Arguments(const QString& path) const {
    QStringList args{QStringLiteral("-q")};
    if (!device_.isEmpty()) args << QStringLiteral("-D") << device_;
    args << QStringLiteral("--") << path;  // a path that begins with "-" is still a path
    return args;
}

bool SoundPlayer::Play(const std::string& path) {
    Stop();
    exitCode_ = -1;
    const QString file = FromStored(path);
    const QFileInfo info(file);
    if (path.empty() || !info.exists() || info.isDir()) {
        LogOnce("Tarvell popup sound not played: file not found: " + path);
        return false;
    }
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->setStandardOutputFile(QProcess::nullDevice());
    process_->setStandardInputFile(QProcess::nullDevice());
    process_->start(program_, Arguments(file));
    if (!process_->waitForStarted(kStartWaitMs)) {
        const bool missing = process_->error() == QProcess::FailedToStart;
        LogOnce(std::string("Tarvell popup sound not played: ") +
                (missing ? "the player " + program_.toStdString() + " cannot be started: "
                         : "the player did not start: ") +
                process_->errorString().toStdString());
        process_.reset();
        return false;
    }
    return true;
}

void SoundPlayer::Stop() {
    if (!process_) return;
    if (process_->state() != QProcess::NotRunning) {
        process_->kill();
        process_->waitForFinished(kStartWaitMs);
    }
    process_.reset();
}

bool SoundPlayer::IsPlaying() const {
    return process_ && process_->state() != QProcess::NotRunning;
}

bool SoundPlayer::WaitForEnd(int ms) {
    if (!process_) return true;
    if (process_->state() != QProcess::NotRunning) process_->waitForFinished(ms);
    if (process_->state() != QProcess::NotRunning) return false;
    exitCode_ = process_->exitStatus() == QProcess::NormalExit ? process_->exitCode() : -1;
    return true;
}

void SoundPlayer::LogOnce(const std::string& text) {
    if (logged_.count(text)) return;
    if (logged_.size() >= kMaxLoggedFailures) logged_.clear();
    logged_.insert(text);
    log_->Log(text);
}

}  // namespace tarvell
