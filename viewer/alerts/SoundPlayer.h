// The popup's sound: a ".wav" file played by the ALSA player "aplay" in the background. The
// program gets an argument vector (no shell), so a path means nothing but a path. Nothing plays
// when the file or the player is missing or the player does not start; each such failure is
// written to the log once, and the popup shows all the same. No default sound is ever played.
// GUI thread only.
#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>
#include <set>
#include <string>

namespace tarvell {

class EventLog;

class SoundPlayer : public QObject {
    Q_OBJECT
public:
    // `device`: the ALSA output ("null", "default", ...), empty for the player's own default.
    // `log`: nullptr writes to the system log as "Tarvell". `program`: the player.
    explicit SoundPlayer(QString device = {}, EventLog* log = nullptr,
                         QString program = QStringLiteral("aplay"), QObject* parent = nullptr);
    ~SoundPlayer() override;

    // Stops what plays and starts `path`; false (logged once) when nothing plays.
    bool Play(const std::string& path);
    // Ends the player now, if it runs.
    void Stop();
    bool IsPlaying() const;
    // Waits up to ms for the player to end by itself; true when nothing runs any more.
    bool WaitForEnd(int ms);
    // The exit code of the player that ended last, -1 when none ended normally.
    int ExitCode() const { return exitCode_; }
    // The arguments the player gets for `path`.
    QStringList Arguments(const QString& path) const;

private:
    void LogOnce(const std::string& text);

    QString device_;
    QString program_;
    EventLog* log_;
    std::unique_ptr<EventLog> ownLog_;
    std::unique_ptr<QProcess> process_;
    std::set<std::string> logged_;
    int exitCode_ = -1;
};

}  // namespace tarvell
