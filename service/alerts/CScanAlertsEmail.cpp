#include "service/alerts/CScanAlertsEmail.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <deque>
#include <tuple>

#include "platform/DateText.h"
#include "platform/ManualResetEvent.h"
#include "platform/RecursiveLock.h"
#include "platform/Text.h"
#include "platform/WorkerThread.h"
#include "platform/smtp/CSmtpClient.h"
#include "shared/AlertKey.h"
#include "shared/AlertTarget.h"
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
std::string RecipientAddress(const std::string& entry) { return SplitTargetEntry(entry).target; }

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

// ---- the lanes

class CScanAlertsEmail::Lane : public WorkerThread {
public:
    explicit Lane(CScanAlertsEmail& owner) : owner_(owner) {
        // A stop of the channel (or of the lane) ends a dialogue at once, as a passing failure.
        client_.SetStopEvents({&StopEvent(), &owner_.StopEvent()});
    }
    ~Lane() override { StopAndJoin(); }

    // Any thread. A lane whose dialogues hang keeps at most kMaxPendingMails new mails too.
    void Add(Mail mail) {
        std::optional<Mail> dropped = PushBounded(fresh_, std::move(mail));
        work_.Set();
        if (dropped) Drop(*dropped);
    }
    void Wake() { work_.Set(); }
    bool Threaded() const { return threaded_.load(); }
    void SetThreaded(bool threaded) { threaded_ = threaded; }
    std::size_t Pending() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return pending_.size();
    }
    std::optional<std::int64_t> NextRetryAt() const {
        std::lock_guard<std::mutex> guard(mutex_);
        std::optional<std::int64_t> next;
        for (const Mail& mail : pending_)
            if (!next || mail.nextTry < *next) next = mail.nextTry;
        return next;
    }

    // The lane's worker: its thread, or the channel's (or a test's) while it has none.
    void SendNew(const CTarvellDoc& settings);
    void RetryDue(const CTarvellDoc& settings, bool enabled);

protected:
    void Run() override {
        while (!Stopping()) {
            work_.Reset();
            const std::shared_ptr<const CTarvellDoc> settings = owner_.engine_.Settings();
            SendNew(*settings);
            if (!Stopping()) RetryDue(*settings, owner_.Enabled(*settings));
            work_.WaitFor(owner_.intervalMs_);
        }
    }

private:
    bool Stopping() const { return StopRequested() || owner_.StopRequested(); }
    void Drop(const Mail& mail) {
        owner_.engine_.Log("E-mail to " + mail.address + " (\"" + mail.subject +
                           "\") is dropped: too many mails wait for the mail server");
        owner_.Done(mail);
    }
    // One try; true when the mail is done with (delivered or dropped).
    bool Attempt(Mail& mail, const CTarvellDoc& settings, bool* delivered = nullptr);

    CScanAlertsEmail& owner_;
    smtp::CSmtpClient client_;  // the worker only
    ManualResetEvent work_;     // new mails, or a stop
    std::atomic<bool> threaded_{false};
    mutable std::mutex mutex_;
    // Appends under mutex_; the oldest mail falls out (returned) when the list is full.
    std::optional<Mail> PushBounded(std::deque<Mail>& list, Mail mail) {
        std::lock_guard<std::mutex> guard(mutex_);
        std::optional<Mail> dropped;
        if (list.size() >= kMaxPendingMails) {
            dropped = std::move(list.front());
            list.pop_front();
        }
        list.push_back(std::move(mail));
        return dropped;
    }

    std::deque<Mail> fresh_;    // [mutex_] mails not yet tried, oldest first
    std::deque<Mail> pending_;  // [mutex_] changed by the worker only
};

void CScanAlertsEmail::Lane::SendNew(const CTarvellDoc& settings) {
    while (!Stopping()) {
        Mail mail;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            if (fresh_.empty()) return;
            mail = std::move(fresh_.front());
            fresh_.pop_front();
        }
        const std::int64_t now = owner_.engine_.clock().Now();
        mail.firstTry = now;
        bool delivered = false;
        const bool done = Attempt(mail, settings, &delivered);
        if (mail.tally) owner_.Tried(mail, delivered);
        if (done) {
            owner_.Done(mail);
            continue;
        }
        mail.wait = kMailFirstRetrySeconds;
        mail.nextTry = now + mail.wait;
        if (std::optional<Mail> dropped = PushBounded(pending_, std::move(mail))) Drop(*dropped);
    }
}

void CScanAlertsEmail::Lane::RetryDue(const CTarvellDoc& settings, bool enabled) {
    std::size_t tried = 0;
    std::size_t at = 0;  // only the worker changes the list: positions stay put
    while (tried < kMaxRetriesPerCycle && !Stopping()) {
        const std::int64_t now = owner_.engine_.clock().Now();
        std::optional<Mail> due;
        std::vector<Mail> expired;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            while (at < pending_.size() && !due) {
                Mail& mail = pending_[at];
                if (now - mail.firstTry >= kMailRetryLifetimeSeconds) {
                    expired.push_back(std::move(mail));
                    pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(at));
                } else if (mail.nextTry > now || (!enabled && !mail.test)) {
                    // While the channel is switched off only a test mail is retried.
                    ++at;
                } else {
                    due = std::move(mail);
                    pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(at));
                }
            }
        }
        for (const Mail& mail : expired) {
            owner_.engine_.Log("E-mail to " + mail.address + " (\"" + mail.subject +
                               "\") could not be delivered in 24 hours; it is dropped");
            owner_.Done(mail);
        }
        if (!due) return;
        ++tried;
        if (Attempt(*due, settings)) {
            owner_.Done(*due);
            continue;
        }
        due->wait = std::min(due->wait * 2, kMailLongestRetrySeconds);
        due->nextTry = owner_.engine_.clock().Now() + due->wait;
        std::lock_guard<std::mutex> guard(mutex_);
        pending_.insert(pending_.begin() + static_cast<std::ptrdiff_t>(at), std::move(*due));
        // The server is most likely away: the other waiting mails are tried in the next round,
        // so that one dead server costs at most one timeout per round.
        return;
    }
}

// True when the mail is done with: delivered, refused for good, or too old to try again. A
// passing failure leaves it for the next try (false).
bool CScanAlertsEmail::Lane::Attempt(Mail& mail, const CTarvellDoc& settings, bool* delivered) {
    CTarvellFrm& engine = owner_.engine_;
    std::string error;
    const std::optional<smtp::SmtpSettings> smtp =
        MailSettings(settings, engine.ServiceFolder, &error);
    smtp::SendResult result;
    if (!smtp) {
        result.status = smtp::SendStatus::Rejected;
        result.reason = "the mail settings are unusable: " + error;
    } else {
        result = client_.SendMail(*smtp, mail.address, mail.subject, mail.body, mail.html);
    }
    switch (result.status) {
        case smtp::SendStatus::Delivered:
            if (delivered) *delivered = true;
            owner_.ReportDelivery(mail.address, true);
            return true;
        case smtp::SendStatus::Rejected:
            owner_.ReportDelivery(mail.address, false, result.reason + "; the mail is dropped");
            return true;
        case smtp::SendStatus::RetryLater: break;
    }
    const std::int64_t now = engine.clock().Now();
    if (now - mail.firstTry >= kMailRetryLifetimeSeconds) {
        engine.Log("E-mail to " + mail.address + " (\"" + mail.subject +
                   "\") could not be delivered in 24 hours (" + result.reason + "); it is dropped");
        return true;
    }
    owner_.ReportDelivery(mail.address, false, result.reason + "; the mail is tried again later");
    return false;
}

// ---- the channel

CScanAlertsEmail::CScanAlertsEmail(CTarvellFrm& engine, std::int64_t intervalMs)
    : AlertChannelThread(engine, engine.EmailQueue, engine.EmailTestFlag, "E-mail", intervalMs),
      intervalMs_(intervalMs) {
    for (std::size_t i = 0; i < kMailLanes; ++i) lanes_.push_back(std::make_unique<Lane>(*this));
}

CScanAlertsEmail::~CScanAlertsEmail() { StopAndJoin(); }

void CScanAlertsEmail::Run() {
    for (std::size_t i = 0; i < lanes_.size(); ++i)
        lanes_[i]->SetThreaded(lanes_[i]->Start("E-mail lane " + std::to_string(i + 1)));
    while (!WaitForStop(intervalMs_)) Cycle();
    for (const auto& lane : lanes_) {
        lane->RequestStop();
        lane->Wake();
    }
    for (const auto& lane : lanes_) {
        lane->Join();
        lane->SetThreaded(false);
    }
}

void CScanAlertsEmail::Cycle() {
    const bool testAsked = engine_.EmailTestFlag.load() != 0;
    TakeOnce();
    const std::shared_ptr<const CTarvellDoc> settings = engine_.Settings();
    const bool enabled = Enabled(*settings);
    for (const auto& lane : lanes_)
        if (!lane->Threaded()) lane->RetryDue(*settings, enabled);
    if ((enabled || testAsked) && (settings->DailyReport != 0 || settings->WeeklyReport != 0))
        CheckReports(*settings);
}

std::size_t CScanAlertsEmail::PendingMails() const {
    std::size_t n = 0;
    for (const auto& lane : lanes_) n += lane->Pending();
    return n;
}

std::optional<std::int64_t> CScanAlertsEmail::NextRetryAt() const {
    std::optional<std::int64_t> next;
    for (const auto& lane : lanes_) {
        const std::optional<std::int64_t> due = lane->NextRetryAt();
        if (due && (!next || *due < *next)) next = due;
    }
    return next;
}

void CScanAlertsEmail::Post(std::vector<Mail> mails, const CTarvellDoc& settings) {
    std::vector<std::size_t> chosen;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        for (const Mail& mail : mails) {
            auto [it, fresh] = busy_.try_emplace(mail.address);
            if (fresh) {
                it->second.lane = static_cast<std::size_t>(
                    std::min_element(load_.begin(), load_.end()) - load_.begin());
            }
            ++it->second.mails;
            ++load_[it->second.lane];
            chosen.push_back(it->second.lane);
        }
    }
    for (std::size_t i = 0; i < mails.size(); ++i) lanes_[chosen[i]]->Add(std::move(mails[i]));
    for (const auto& lane : lanes_)
        if (!lane->Threaded()) lane->SendNew(settings);
}

void CScanAlertsEmail::Done(const Mail& mail) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (const auto found = busy_.find(mail.address); found != busy_.end()) {
        --load_[found->second.lane];
        if (--found->second.mails == 0) busy_.erase(found);
    }
    if (mail.key.empty()) return;  // a test alert's or a report's: not in the alert log
    const auto open = open_.find(AlertKeyOrder(mail.key));
    if (open != open_.end() && open->second.second > 0) --open->second.second;
    AdvanceMark();
}

void CScanAlertsEmail::Tried(const Mail& mail, bool delivered) {
    std::lock_guard<std::mutex> guard(mutex_);
    TestTally& tally = *mail.tally;
    ++tally.tried;
    if (delivered) ++tally.delivered;
    if (tally.tried == tally.mails) {
        engine_.Log("E-mail test alert " + tally.key + " delivered to " +
                    std::to_string(tally.delivered) + " of " + std::to_string(tally.mails) +
                    " recipients");
    }
}

void CScanAlertsEmail::MarkDelivered(const std::string&) {
    std::lock_guard<std::mutex> guard(mutex_);
    AdvanceMark();
}

void CScanAlertsEmail::AdvanceMark() {
    while (!open_.empty() && open_.begin()->second.second == 0) {
        const std::string& key = open_.begin()->second.first;
        if (AlertKeyOrder(doneThrough_) < AlertKeyOrder(key)) doneThrough_ = key;
        open_.erase(open_.begin());
    }
    engine_.NoteDelivered(queue_, doneThrough_);
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

    std::vector<Mail> mails;
    for (const std::string& entry : settings.EmailRecipients) {
        const TargetDecision decision = TargetMatchesAlert(entry, alert, description);
        if (!decision.deliver || decision.target.empty()) continue;
        Mail mail;
        mail.address = decision.target;
        mail.subject = subject;
        mail.body = body;
        mail.html = html;
        mail.test = test;
        if (!test) mail.key = key;
        mails.push_back(std::move(mail));
    }
    if (test) {
        // Logged once every mail had its first try.
        auto tally = std::make_shared<TestTally>();
        tally->key = key;
        tally->mails = mails.size();
        for (Mail& mail : mails) mail.tally = tally;
        if (mails.empty())
            engine_.Log("E-mail test alert " + key + " delivered to 0 of 0 recipients");
    } else {
        std::lock_guard<std::mutex> guard(mutex_);
        if (doneThrough_.empty()) {
            doneThrough_ = engine_.DeliveredMark(queue_);
            // Nothing recorded yet: every logged alert is after it.
            if (doneThrough_.empty()) doneThrough_ = "0.0";
        }
        auto& open = open_[AlertKeyOrder(key)];  // the same key again adds to its mails
        open.first = key;
        open.second += mails.size();
    }
    // Which alerts the reports count is decided by the alert itself: a test alert never.
    if (!test && (settings.DailyReport != 0 || settings.WeeklyReport != 0)) {
        RecursiveGuard guard(engine_.MailLock);
        engine_.ReportStore[key] = std::make_unique<CAlertItem>(alert);
    }
    Post(std::move(mails), settings);
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
    std::vector<Mail> mails;
    for (const std::string& entry : settings.EmailRecipients) {
        Mail mail;
        mail.address = RecipientAddress(entry);
        if (mail.address.empty()) continue;
        mail.subject = "Tarvell - " + title;
        mail.body = html;
        mail.html = true;
        mails.push_back(std::move(mail));
    }
    Post(std::move(mails), settings);
}

}  // namespace tarvell
