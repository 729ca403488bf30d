#include "service/alerts/CScanAlertsEmail.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <tuple>

#include "platform/DateText.h"
#include "platform/RecursiveLock.h"
#include "shared/AlertKey.h"
#include "platform/Text.h"
#include "shared/AlertKey.h"
#include "service/actionlinks/LinkToken.h"
#include "service/alerts/AlertText.h"
#include "service/alerts/MailSettings.h"

namespace tarvell {
namespace {

constexpr const char* kButtonCell =
    "<table width=\"120\" cellspacing=\"0\" cellpadding=\"0\" "
    "style=\"color:black;background-color:#ECE9D8;"
    "border-left:1px solid #ECE9D8;border-top:1px solid #ECE9D8;border-right:1px solid #716F64;"
    "border-bottom:1px solid #716F64;font:normal normal normal 10pt arial\"><tr><td "
    "align=\"center\" "
    "height=\"25\" style=\"border-left:1px solid white;border-top:1px solid white;border-right:1px "
    "solid "
    "#ACA899;border-bottom:1px solid #ACA899\"><a style=\"color:black;text-decoration:none\" "
    "href=\"";
constexpr const char* kCellFont = "<font size=\"2\" color=\"#535353\" face=\"arial\">";
constexpr const char* kTestCategory = "Test Alert";

// A whole decimal number without sign; nullopt for anything else.
std::optional<std::int64_t> ParseDecimal(std::string_view text) {
    std::int64_t value = 0;
    if (text.empty()) return std::nullopt;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

// "HH:MM:SS" as seconds of the day; nullopt when it is not that form.
std::optional<int> ParseClockTime(std::string_view text) {
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') return std::nullopt;
    const auto h = ParseDecimal(text.substr(0, 2));
    const auto m = ParseDecimal(text.substr(3, 2));
    const auto s = ParseDecimal(text.substr(6, 2));
    if (!h || !m || !s || *h > 23 || *m > 59 || *s > 59) return std::nullopt;
    return static_cast<int>(*h * 3600 + *m * 60 + *s);
}

std::tm LocalTm(std::int64_t seconds) {
    std::tm out{};
    const std::time_t t = static_cast<std::time_t>(seconds);
    localtime_r(&t, &out);
    return out;
}

bool SameDate(const std::tm& a, const std::tm& b) {
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday;
}

// The recipient address of an entry: the text before the first "|".
std::string RecipientAddress(const std::string& entry) { return entry.substr(0, entry.find('|')); }

bool IsBlockingAlert(const CAlertItem& alert) {
    return alert.Description == "Manual Blocking" || alert.Description == "System Blocking";
}

}  // namespace

std::string HtmlText(std::string_view text) { return EscapeHtml(text); }

std::string HtmlLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "<br>\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string ServiceLinkAddress() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return "127.0.0.1";
    std::string found;
    for (const ifaddrs* it = list; it != nullptr && found.empty(); it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
        if ((it->ifa_flags & IFF_UP) == 0 || (it->ifa_flags & IFF_LOOPBACK) != 0) continue;
        const in_addr address = reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr;
        if ((ntohl(address.s_addr) >> 24) == 127) continue;
        char text[INET_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET, &address, text, sizeof text) != nullptr) found = text;
    }
    ::freeifaddrs(list);
    return found.empty() ? "127.0.0.1" : found;
}

std::string LinkMailHtml(const std::string& htmlBody, const std::vector<LinkButton>& buttons) {
    std::string html = "<p style=\"font:normal normal normal 10pt arial\">" + htmlBody +
                       "<br><hr></p>\r\n" + "<table width=\"260\"><tr>\r\n";
    for (std::size_t i = 0; i < buttons.size() && i < 2; ++i) {
        html += i == 0 ? "<td align=\"left\">" : "<td align=\"right\">";
        html += kButtonCell;
        html += HtmlText(buttons[i].link) + "\">" + buttons[i].caption +
                "</a></td></tr></table></td>\r\n";
    }
    html += "</tr></table>\r\n";
    html +=
        "<p style=\"font:normal normal normal 8pt arial\">Each link can be used once, within 7 "
        "days of this "
        "mail, and only while the port holds the event of this mail.</p>\r\n";
    static_assert(kLinkLifeSeconds == 7 * 24 * 3600, "the text above names the links' life");
    return html;
}

bool InScheduleWindow(const std::vector<std::string>& schedule, const std::tm& now,
                      const std::function<std::tm(std::int64_t)>& localTime) {
    const int nowOfDay = now.tm_hour * 3600 + now.tm_min * 60 + now.tm_sec;
    for (const std::string& entry : schedule) {
        const std::size_t first = entry.find('/');
        const std::size_t second = first == std::string::npos ? first : entry.find('/', first + 1);
        if (second == std::string::npos) continue;
        const auto day = ParseDecimal(std::string_view(entry).substr(0, first));
        const auto start =
            ParseClockTime(std::string_view(entry).substr(first + 1, second - first - 1));
        const auto end = ParseClockTime(std::string_view(entry).substr(second + 1));
        if (!day || !start || !end) continue;
        bool today = *day == 0 || *day == now.tm_wday + 1;
        if (!today && *day > 7) today = SameDate(localTime(*day), now);
        if (today && *start <= nowOfDay && nowOfDay <= *end) return true;
    }
    return false;
}

std::int64_t LocalMidnight(std::int64_t seconds) {
    std::tm tm = LocalTm(seconds);
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

std::int64_t AddLocalDays(std::int64_t midnight, int days) {
    std::tm tm = LocalTm(midnight);
    tm.tm_mday += days;
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

std::string ReportHtml(const std::string& title, std::int64_t dayStart,
                       const std::vector<ReportRow>& rows,
                       const std::array<std::int32_t, 9>& columns) {
    const auto shown = static_cast<int>(
        std::count_if(columns.begin(), columns.end(), [](std::int32_t c) { return c != 0; }));
    std::string html =
        "<p><font size=\"5\" color=\"#EB2800\" face=\"arial\"><b>Tarvell</b></font><br>"
        "<font size=\"1\" color=\"#535353\" face=\"arial\"><b>" +
        HtmlText(title) + " for " + FormatUserDate(dayStart) + "</b></font></p>\r\n" +
        "<table width=\"100%\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\">\r\n<tr>";
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (columns[c] == 0) continue;
        html += std::string("<td bgcolor=\"#DDDDDD\" style=\"border:1px solid #C1C1C1\">") +
                kCellFont + "&nbsp;" + kReportColumnNames[c] + "</font></td>";
    }
    html += "</tr>\r\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        html += i % 2 == 0 ? "<tr bgcolor=\"#FFFFFF\">" : "<tr bgcolor=\"#F1F1F1\">";
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (columns[c] == 0) continue;
            html += "<td>";
            html += kCellFont;
            html += "&nbsp;";
            html += HtmlText(rows[i].values[c]);
            html += "</font></td>";
        }
        html += "</tr>\r\n";
    }
    if (rows.empty()) {
        html += "<tr><td align=\"center\" colspan=\"" + std::to_string(shown) + "\">" + kCellFont +
                "No alerts found for the selected report.</font></td></tr>";
    }
    html += "</font></table>\r\n";
    return html;
}

// ---- the channel

CScanAlertsEmail::CScanAlertsEmail(CTarvellFrm& engine, std::int64_t intervalMs)
    : AlertChannelThread(engine, engine.EmailQueue, engine.EmailTestFlag, "E-mail", intervalMs),
      intervalMs_(intervalMs) {
    // A stop ends a dialogue at once (a passing failure of that mail).
    client_.SetStopCheck([this] { return StopRequested(); });
}

void CScanAlertsEmail::Run() {
    while (!WaitForStop(intervalMs_)) Cycle();
}

void CScanAlertsEmail::Cycle() {
    const bool testAsked = engine_.EmailTestFlag.load() != 0;
    TakeOnce();
    const std::shared_ptr<const CTarvellDoc> settings = engine_.Settings();
    const bool enabled = Enabled(*settings);
    if (!pending_.empty()) RetryDue(*settings, enabled);
    if ((enabled || testAsked) && (settings->DailyReport != 0 || settings->WeeklyReport != 0))
        CheckReports(*settings);
}

void CScanAlertsEmail::Deliver(const std::string& key, const CAlertItem& alert,
                               const CTarvellDoc& settings) {
    const AlertTextSources sources = LookUpAlertTexts(engine_, alert);
    const std::string description = ExpandEventText(sources.descriptionText, alert, sources);
    const std::string subject = ExpandAlertMacros(settings.EmailSubject, alert, key, sources);
    const bool test = alert.Category == kTestCategory;

    // The blocking test looks at the alert's type, so a customised cause text keeps the links.
    const bool blocking =
        (settings.EmailUnblockLink != 0 || settings.EmailDeleteLink != 0) && IsBlockingAlert(alert);
    bool scheduled = false;
    if (!blocking && settings.EmailScheduleDeleteLink != 0 && settings.PreventionEnabled != 0 &&
        !settings.PreventionSchedule.empty()) {
        Clock& clock = engine_.clock();
        scheduled = InScheduleWindow(settings.PreventionSchedule, clock.LocalTime(clock.Now()),
                                     [&clock](std::int64_t s) { return clock.LocalTime(s); });
    }
    std::string body;
    bool html = false;
    if (blocking || scheduled) {
        const std::vector<LinkButton> buttons = Buttons(key, alert, settings, blocking);
        if (!buttons.empty()) {
            const std::string htmlBody = HtmlLineBreaks(
                ExpandAlertMacros(settings.EmailBody, alert, key, sources, &HtmlText));
            body = LinkMailHtml(htmlBody, buttons);
            html = true;
        }
    }
    if (!html) body = ExpandAlertMacros(settings.EmailBody, alert, key, sources);

    const std::string before = test ? std::string() : DoneThrough();
    std::size_t accepted = 0;
    std::size_t delivered = 0;
    for (const std::string& entry : settings.EmailRecipients) {
        const TargetDecision decision = TargetMatchesAlert(entry, alert, description);
        if (!decision.deliver || decision.target.empty()) continue;
        ++accepted;
        Mail mail;
        mail.address = decision.target;
        mail.subject = subject;
        mail.body = body;
        mail.html = html;
        mail.test = test;
        mail.before = before;
        if (Send(std::move(mail), settings)) ++delivered;
    }

    if (!test) lastTaken_ = key;
    // Which alerts the reports count is decided by the alert itself: a test alert never.
    if (!test && (settings.DailyReport != 0 || settings.WeeklyReport != 0)) {
        RecursiveGuard guard(engine_.MailLock);
        engine_.ReportStore[key] = std::make_unique<CAlertItem>(alert);
    }
    if (test) {
        engine_.Log("E-mail test alert " + key + " delivered to " + std::to_string(delivered) +
                    " of " + std::to_string(accepted) + " recipients");
    }
}

std::vector<LinkButton> CScanAlertsEmail::Buttons(const std::string& key, const CAlertItem& alert,
                                                  const CTarvellDoc& settings, bool blocking) {
    std::string error;
    const std::optional<LinkSecret> secret = LoadOrCreateLinkSecret(engine_.ServiceFolder, &error);
    if (!secret) {
        if (!linkTrouble_) {
            engine_.Log("The action-link secret could not be read (" + error +
                        "); alert mails go without action links");
        }
        linkTrouble_ = true;
        return {};
    }
    linkTrouble_ = false;
    const std::string address = linkAddress_.empty() ? ServiceLinkAddress() : linkAddress_;
    const std::string event = alert.SwitchKey + "/" + alert.PortKey;
    // The links act on the event the alert was made from: the one at its port while its MAC is
    // the alert's (a later event of the port gets mails of its own).
    LinkBinding binding{"", alert.SourceMac, engine_.clock().Now() + kLinkLifeSeconds};
    {
        RecursiveGuard lock(engine_.EngineLock);
        const auto found = engine_.EventMap.find(event);
        if (found != engine_.EventMap.end() && found->second->SourceMac == alert.SourceMac)
            binding.dateKey = found->second->DateKey;
    }
    std::vector<LinkButton> buttons;
    auto add = [&](const char* action, const char* caption) {
        std::string link = MakeActionLink(address, *secret, event, action, key, binding);
        if (!link.empty()) buttons.push_back({caption, std::move(link)});
    };
    if (blocking) {
        if (settings.EmailUnblockLink != 0) add("None", "Unblock Only");
        if (settings.EmailDeleteLink != 0) add("Delete", "Unblock &amp; Delete");
    } else {
        add("Delete", "Delete Event");
    }
    if (buttons.empty()) {
        engine_.Log("Action links for alert " + key + " could not be made (its port " + event +
                    " cannot be named in a link); the alert is mailed without them");
    }
    return buttons;
}

// ---- sending and retrying

bool CScanAlertsEmail::Send(Mail mail, const CTarvellDoc& settings) {
    const std::int64_t now = engine_.clock().Now();
    mail.firstTry = now;
    if (Attempt(mail, settings)) return true;
    if (pending_.size() >= kMaxPendingMails) {
        const Mail& oldest = pending_.front();
        engine_.Log("E-mail to " + oldest.address + " (\"" + oldest.subject +
                    "\") is dropped: too many mails wait for the mail server");
        pending_.pop_front();
    }
    mail.wait = kMailFirstRetrySeconds;
    mail.nextTry = now + mail.wait;
    pending_.push_back(std::move(mail));
    return false;
}

// True when the mail is done with: delivered, refused for good, or too old to try again. A
// passing failure leaves it for the next try (false).
bool CScanAlertsEmail::Attempt(Mail& mail, const CTarvellDoc& settings) {
    std::string error;
    const std::optional<smtp::SmtpSettings> smtp =
        MailSettings(settings, engine_.ServiceFolder, &error);
    smtp::SendResult result;
    if (!smtp) {
        result.status = smtp::SendStatus::Rejected;
        result.reason = "the mail settings are unusable: " + error;
    } else {
        result = client_.SendMail(*smtp, mail.address, mail.subject, mail.body, mail.html);
    }
    switch (result.status) {
        case smtp::SendStatus::Delivered: ReportDelivery(mail.address, true); return true;
        case smtp::SendStatus::Rejected:
            ReportDelivery(mail.address, false, result.reason + "; the mail is dropped");
            return true;
        case smtp::SendStatus::RetryLater: break;
    }
    const std::int64_t now = engine_.clock().Now();
    if (now - mail.firstTry >= kMailRetryLifetimeSeconds) {
        engine_.Log("E-mail to " + mail.address + " (\"" + mail.subject +
                    "\") could not be delivered in 24 hours (" + result.reason +
                    "); it is dropped");
        return true;
    }
    ReportDelivery(mail.address, false, result.reason + "; the mail is tried again later");
    return false;
}

std::string CScanAlertsEmail::DoneThrough() const {
    std::string through = lastTaken_.empty() ? engine_.DeliveredMark(queue_) : lastTaken_;
    if (through.empty()) through = "0.0";  // nothing recorded yet: every logged alert is after it
    bool waiting = false;
    for (const Mail& mail : pending_) {
        if (mail.test) continue;
        if (!waiting || AlertKeyOrder(mail.before) < AlertKeyOrder(through)) through = mail.before;
        waiting = true;
    }
    return through;
}

std::optional<std::int64_t> CScanAlertsEmail::NextRetryAt() const {
    std::optional<std::int64_t> next;
    for (const Mail& mail : pending_)
        if (!next || mail.nextTry < *next) next = mail.nextTry;
    return next;
}

void CScanAlertsEmail::RetryDue(const CTarvellDoc& settings, bool enabled) {
    const std::size_t waiting = pending_.size();
    RetryPending(settings, enabled);
    if (pending_.size() != waiting) engine_.NoteDelivered(queue_, DoneThrough());
}

void CScanAlertsEmail::RetryPending(const CTarvellDoc& settings, bool enabled) {
    const std::int64_t now = engine_.clock().Now();
    std::size_t tried = 0;
    for (auto it = pending_.begin(); it != pending_.end() && tried < kMaxRetriesPerCycle;) {
        Mail& mail = *it;
        if (now - mail.firstTry >= kMailRetryLifetimeSeconds) {
            engine_.Log("E-mail to " + mail.address + " (\"" + mail.subject +
                        "\") could not be delivered in 24 hours; it is dropped");
            it = pending_.erase(it);
            continue;
        }
        // While the channel is switched off only a test mail is retried.
        if (mail.nextTry > now || (!enabled && !mail.test)) {
            ++it;
            continue;
        }
        ++tried;
        if (Attempt(mail, settings)) {
            it = pending_.erase(it);
            continue;
        }
        mail.wait = std::min(mail.wait * 2, kMailLongestRetrySeconds);
        mail.nextTry = engine_.clock().Now() + mail.wait;
        // The server is most likely away: the other waiting mails are tried in the next cycle,
        // so that one dead server costs at most one timeout per cycle.
        break;
    }
}

// ---- reports

void CScanAlertsEmail::CheckReports() { CheckReports(*engine_.Settings()); }

void CScanAlertsEmail::CheckReports(const CTarvellDoc& settings) {
    Clock& clock = engine_.clock();
    const std::int64_t now = clock.Now();
    std::int64_t lastDaily = now;
    std::int64_t lastWeekly = now;
    {
        RecursiveGuard guard(engine_.MailLock);
        // An empty (or unreadable) date is taken as now, so no report goes out on the first day.
        if (const auto v = ParseDecimal(engine_.LastDailyReport)) lastDaily = *v;
        else engine_.LastDailyReport = std::to_string(now);
        if (const auto v = ParseDecimal(engine_.LastWeeklyReport)) lastWeekly = *v;
        else engine_.LastWeeklyReport = std::to_string(now);
    }
    const std::tm today = clock.LocalTime(now);
    auto laterDay = [&](std::int64_t stored) {
        const std::tm then = clock.LocalTime(stored);
        return std::tie(today.tm_year, today.tm_mon, today.tm_mday) >
               std::tie(then.tm_year, then.tm_mon, then.tm_mday);
    };
    const std::int64_t dayStart = LocalMidnight(now);
    if (laterDay(lastDaily)) {
        {
            RecursiveGuard guard(engine_.MailLock);
            engine_.LastDailyReport = std::to_string(dayStart);
        }
        if (settings.DailyReport != 0) BuildReport(1, "daily report", dayStart, settings);
    }
    if (today.tm_wday == 0 && laterDay(lastWeekly)) {
        {
            RecursiveGuard guard(engine_.MailLock);
            engine_.LastWeeklyReport = std::to_string(dayStart);
        }
        if (settings.WeeklyReport != 0) BuildReport(7, "weekly report", dayStart, settings);
        // Alerts of today stay: they belong to the next reports. A key of another form would
        // never be reported; it goes too.
        RecursiveGuard guard(engine_.MailLock);
        std::erase_if(engine_.ReportStore, [dayStart](const auto& entry) {
            const std::int64_t seconds = AlertKeyOrder(entry.first).first;
            return seconds < dayStart || seconds == INT64_MAX;
        });
    }
}

void CScanAlertsEmail::BuildReport(int days, const std::string& title, std::int64_t dayStart) {
    BuildReport(days, title, dayStart, *engine_.Settings());
}

void CScanAlertsEmail::BuildReport(int days, const std::string& title, std::int64_t dayStart,
                                   const CTarvellDoc& settings) {
    const std::int64_t periodStart = AddLocalDays(dayStart, -days);
    std::vector<std::pair<std::pair<std::int64_t, std::int64_t>, CAlertItem>> selected;
    {
        RecursiveGuard guard(engine_.MailLock);
        for (const auto& [key, alert] : engine_.ReportStore) {
            const auto order = AlertKeyOrder(key);
            if (order.first >= periodStart && order.first < dayStart)
                selected.emplace_back(order, *alert);
        }
    }
    // Newest first by seconds and counter; equal keys cannot occur in one map.
    std::stable_sort(selected.begin(), selected.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<ReportRow> rows;
    rows.reserve(selected.size());
    for (const auto& [order, alert] : selected) {
        const AlertTextSources sources = LookUpAlertTexts(engine_, alert);
        ReportRow row;
        row.values[0] = FormatUserDateTime(order.first);
        row.values[1] = alert.DeviceName;
        row.values[2] = alert.DeviceIp;
        row.values[3] = alert.DevicePort;
        row.values[4] = alert.DeviceLocation;
        row.values[5] = alert.SourceMac;
        row.values[6] = alert.SourceIp;
        row.values[7] = alert.SourceName;
        row.values[8] = ExpandEventText(sources.descriptionText, alert, sources);
        rows.push_back(std::move(row));
    }
    const std::string html = ReportHtml(title, dayStart, rows, settings.ReportColumns);
    for (const std::string& entry : settings.EmailRecipients) {
        Mail mail;
        mail.address = RecipientAddress(entry);
        if (mail.address.empty()) continue;
        mail.subject = "Tarvell - " + title;
        mail.body = html;
        mail.html = true;
        Send(std::move(mail), settings);
    }
}

}  // namespace tarvell
