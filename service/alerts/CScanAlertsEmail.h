// The e-mail alert channel and the daily and weekly reports. Once a second the channel takes the
// oldest queued alert (the round of AlertChannelThread) and mails it to every recipient whose
// filters accept it: a plain mail, or, for an alert about a blocked port or while a prevention
// schedule window is open, an HTML mail with action-link buttons back to the service. It keeps a
// copy of every real alert (never a test alert) in the engine's ReportStore, and after local
// midnight mails the daily report (and on Sundays the weekly one) to every recipient.
//
// A mail that meets a passing failure (no server, a timeout, a 4xx reply) waits in a retry list
// of this thread and is tried again after 1 minute, then after twice the last wait up to 30
// minutes, for 24 hours from its first try; a mail refused for good (5xx, unusable settings) is
// dropped. A failing recipient never delays the mails of the others. Every failure is logged
// once per recipient while it lasts; a mail that is dropped is logged with its reason.
//
// Threads: everything runs on the channel's thread; the queue is taken under AlertLock and the
// report store is touched under MailLock, neither held while a mail is sent. Tests call Cycle
// (or CheckReports, BuildReport) without starting the thread, on the engine's clock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/smtp/CSmtpClient.h"
#include "service/alerts/AlertChannelThread.h"

namespace tarvell {

// Retry bounds of a mail that met a passing failure.
inline constexpr std::int64_t kMailFirstRetrySeconds = 60;
inline constexpr std::int64_t kMailLongestRetrySeconds = 30 * 60;
inline constexpr std::int64_t kMailRetryLifetimeSeconds = 24 * 60 * 60;
// At most this many mails wait for a retry; beyond it the oldest is dropped (and logged).
inline constexpr std::size_t kMaxPendingMails = 2000;
// Retries tried in one cycle, so that a dead server cannot stall the channel for long.
inline constexpr std::size_t kMaxRetriesPerCycle = 8;

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
    ~CScanAlertsEmail() override { StopAndJoin(); }

    // One cycle: the next queued alert (when the channel is enabled or a test was asked for),
    // the retries that are due, and the report check.
    void Cycle();
    // The daily and weekly report check on the engine's clock.
    void CheckReports();
    // Builds the report of the `days` calendar days before `dayStart` and mails it to every
    // recipient.
    void BuildReport(int days, const std::string& title, std::int64_t dayStart);

    // Mails waiting for a retry.
    std::size_t PendingMails() const { return pending_.size(); }
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
    std::string DeliveredThrough(const std::string&) override { return DoneThrough(); }

private:
    struct Mail {
        std::string address;
        std::string subject;
        std::string body;
        bool html = false;
        bool test = false;  // a test alert's mail: retried also while the channel is off
        std::int64_t firstTry = 0;
        std::int64_t nextTry = 0;
        std::int64_t wait = 0;  // seconds before nextTry was set
        std::string before;     // the delivered key recorded before its alert was taken
    };
    // The key through which every alert is done with: the earliest `before` of a waiting mail
    // of a real alert, else the last real alert taken.
    std::string DoneThrough() const;
    void RetryPending(const CTarvellDoc& settings, bool enabled);
    std::string lastTaken_;  // channel thread only

    // Sends a new mail; a passing failure puts it into the retry list.
    bool Send(Mail mail, const CTarvellDoc& settings);
    // One attempt; true when the mail is done with (delivered or dropped).
    bool Attempt(Mail& mail, const CTarvellDoc& settings);
    void RetryDue(const CTarvellDoc& settings, bool enabled);
    std::vector<LinkButton> Buttons(const std::string& key, const CAlertItem& alert,
                                    const CTarvellDoc& settings, bool blocking);
    void CheckReports(const CTarvellDoc& settings);
    void BuildReport(int days, const std::string& title, std::int64_t dayStart,
                     const CTarvellDoc& settings);

    const std::int64_t intervalMs_;
    smtp::CSmtpClient client_;      // channel thread only
    std::deque<Mail> pending_;      // channel thread only
    std::string linkAddress_;       // empty: ServiceLinkAddress()
    bool linkTrouble_ = false;      // the link secret problem was logged
    bool settingsTrouble_ = false;  // the mail settings problem was logged
};

}  // namespace tarvell
