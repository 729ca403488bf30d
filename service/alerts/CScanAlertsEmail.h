// The e-mail alert channel and the daily and weekly reports. Once a second the channel takes the
// oldest queued alert (the round of AlertChannelThread) and mails it to every recipient whose
// filters accept it: a plain mail, or, for an alert about a blocked port or while a prevention
// schedule window is open, an HTML mail with action-link buttons back to the service. It keeps a
// copy of every real alert (never a test alert) in the engine's ReportStore, and after local
// midnight mails the daily report (and on Sundays the weekly one) to every recipient.
//
// Mails go out through lanes: each lane has its own mail client, its own queue of new mails and
// its own retry list. A recipient's mails stay on one lane while any of them is under way, in
// the order they were made; a recipient with none under way is given the lane with the fewest
// mails under way. With no more than kMailLanes recipients busy at once each has a lane of its
// own, so a server dialogue that hangs for one recipient delays no other recipient's mail.
//
// A mail that meets a passing failure (no server, a timeout, a 4xx reply) waits in its lane's
// retry list and is tried again after 1 minute, then after twice the last wait up to 30
// minutes, for 24 hours from its first try; a mail refused for good (5xx, unusable settings) is
// dropped. Every failure is logged once per recipient while it lasts; a mail that is dropped is
// logged with its reason. The delivered mark (CTarvellFrm::NoteDelivered) moves to the newest
// alert such that every mail of it and of every alert before it is done with, never further.
//
// Threads: alerts are taken and mails made on the channel's thread; each lane sends on a thread
// of its own ("E-mail lane N"), started and joined by the channel's thread. A stop of the channel
// or of a lane ends its dialogue at once, whatever it waits for (the mail client polls both stop
// events beside its socket); the mail waits for a retry. The queue is taken under AlertLock and
// the report store is touched under MailLock, neither held while a mail is sent. Tests call Cycle
// (or CheckReports, BuildReport) without starting the thread, on the engine's clock: the lanes then
// send on the caller's thread, the new mails before Cycle (or BuildReport) returns.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/alerts/AlertChannelThread.h"

namespace tarvell {

// Retry bounds of a mail that met a passing failure.
inline constexpr std::int64_t kMailFirstRetrySeconds = 60;
inline constexpr std::int64_t kMailLongestRetrySeconds = 30 * 60;
inline constexpr std::int64_t kMailRetryLifetimeSeconds = 24 * 60 * 60;
// At most this many mails of a lane wait for a retry; beyond it the oldest is dropped (and
// logged).
inline constexpr std::size_t kMaxPendingMails = 2000;
// Retries a lane tries in one round, so that a dead server cannot stall the lane for long.
inline constexpr std::size_t kMaxRetriesPerCycle = 8;
// Lanes of the e-mail channel: recipients whose mails are sent side by side.
inline constexpr std::size_t kMailLanes = 8;

// The nine report columns with their header texts, in report order.
inline constexpr const char* kReportColumnNames[9] = {
    "Date",       "Device Name", "Device Ip",   "Device Port", "Device Location",
    "Source Mac", "Source Ip",   "Source Name", "Description"};

// The text with &, <, >, " and ' written as HTML entities.
std::string HtmlText(std::string_view text);

// A mail body for HTML: every line end (CR LF, LF or a lone CR) becomes "<br>\r\n".
std::string HtmlLineBreaks(std::string_view text);

// The address the service's action links point at: the first IPv4 address of an interface that
// is up and not a loopback, else "127.0.0.1".
std::string ServiceLinkAddress();

// A button of a link mail: its caption (HTML) and its link (as made by MakeActionLink).
struct LinkButton {
    std::string caption;
    std::string link;
};
// The HTML of a link mail: the HTML body (already escaped), a rule, and the buttons (the first
// left, the second right).
std::string LinkMailHtml(const std::string& htmlBody, const std::vector<LinkButton>& buttons);

// Whether the local time `now` (broken down, with `nowSeconds` the same moment) lies in one of
// the schedule's windows "<day>/<HH:MM:SS>/<HH:MM:SS>". Day 0 is every day, 1..7 Sunday to
// Saturday, any other number a time in seconds whose local date is the day. Entries that do not
// have that form are skipped. `localTime` turns seconds into the local date.
bool InScheduleWindow(const std::vector<std::string>& schedule, const std::tm& now,
                      const std::function<std::tm(std::int64_t)>& localTime);

// Local midnight that starts the day of `seconds`, and the one `days` calendar days away
// (negative: earlier). Days of a clock change are 23 or 25 hours long.
std::int64_t LocalMidnight(std::int64_t seconds);
std::int64_t AddLocalDays(std::int64_t midnight, int days);

// One report mail's HTML. `rows` are the alerts of the period, newest first, each the nine
// column values (unescaped); `columns` the nine column flags.
struct ReportRow {
    std::string values[9];
};
std::string ReportHtml(const std::string& title, std::int64_t dayStart,
                       const std::vector<ReportRow>& rows,
                       const std::array<std::int32_t, 9>& columns);

class CScanAlertsEmail : public AlertChannelThread {
public:
    explicit CScanAlertsEmail(CTarvellFrm& engine, std::int64_t intervalMs = 1000);
    ~CScanAlertsEmail() override;

    // One cycle: the next queued alert (when the channel is enabled or a test was asked for),
    // the retries that are due (lanes without a thread), and the report check.
    void Cycle();
    // The daily and weekly report check on the engine's clock.
    void CheckReports();
    // Builds the report of the `days` calendar days before `dayStart` and mails it to every
    // recipient.
    void BuildReport(int days, const std::string& title, std::int64_t dayStart);

    // Mails waiting for a retry, on all lanes.
    std::size_t PendingMails() const;
    // When the first waiting mail is due next (nullopt when none waits).
    std::optional<std::int64_t> NextRetryAt() const;
    // Tests: the address written into action links instead of the interface's.
    void SetLinkAddress(std::string address) { linkAddress_ = std::move(address); }

protected:
    void Run() override;
    bool Enabled(const CTarvellDoc& settings) const override {
        return settings.EmailAlertsEnabled != 0;
    }
    void Deliver(const std::string& key, const CAlertItem& alert,
                 const CTarvellDoc& settings) override;
    void MarkDelivered(const std::string& key) override;

private:
    // The first tries of the mails of a test alert, for its log line.
    struct TestTally {
        std::string key;
        std::size_t mails = 0;
        std::size_t tried = 0;      // [CScanAlertsEmail::mutex_]
        std::size_t delivered = 0;  // [CScanAlertsEmail::mutex_]
    };
    struct Mail {
        std::string address;
        std::string subject;
        std::string body;
        bool html = false;
        bool test = false;  // a test alert's mail: retried also while the channel is off
        std::string key;    // the real alert it was made for; empty for a test alert or a report
        std::shared_ptr<TestTally> tally;  // a test alert's
        std::int64_t firstTry = 0;
        std::int64_t nextTry = 0;
        std::int64_t wait = 0;  // seconds before nextTry was set
    };
    class Lane;

    // Hands new mails to their lanes (and sends them at once while the lanes have no threads).
    void Post(std::vector<Mail> mails, const CTarvellDoc& settings);
    // A lane is done with the mail: delivered, refused for good or dropped. Any lane's thread.
    void Done(const Mail& mail);
    // The first try of a test alert's mail was made (it may wait for a retry now).
    void Tried(const Mail& mail, bool delivered);
    // Moves the delivered mark past the alerts whose mails are all done with. [mutex_]
    void AdvanceMark();
    std::vector<LinkButton> Buttons(const std::string& key, const CAlertItem& alert,
                                    const CTarvellDoc& settings, bool blocking);
    void CheckReports(const CTarvellDoc& settings);
    void BuildReport(int days, const std::string& title, std::int64_t dayStart,
                     const CTarvellDoc& settings);

    const std::int64_t intervalMs_;
    std::vector<std::unique_ptr<Lane>> lanes_;  // kMailLanes, made at construction
    std::atomic<bool> threaded_{false};         // the lanes run on their own threads

    mutable std::mutex mutex_;
    struct Busy {
        std::size_t lane = 0;
        std::size_t mails = 0;  // under way: queued, being sent or waiting for a retry
    };
    std::map<std::string, Busy> busy_;            // [mutex_] recipients with mails under way
    std::array<std::size_t, kMailLanes> load_{};  // [mutex_] mails under way per lane
    // Real alerts taken whose mails are not all done with, by key order: mails left.
    std::map<std::pair<std::int64_t, std::int64_t>, std::pair<std::string, std::size_t>>
        open_;                 // [mutex_]
    std::string doneThrough_;  // [mutex_] every alert up to it is done with; "" before the first

    std::string linkAddress_;       // empty: ServiceLinkAddress()
    bool linkTrouble_ = false;      // the link secret problem was logged
    bool settingsTrouble_ = false;  // the mail settings problem was logged
};

}  // namespace tarvell
