#include "platform/snmp/Walk.h"

namespace tarvell::snmp {

ColumnWalk::ColumnWalk(std::vector<Oid> columns, bool ordered)
    : columns_(std::move(columns)), ordered_(ordered), positions_(columns_) {}

bool ColumnWalk::InColumn(std::size_t i, const VarBind& binding) const {
    return !binding.value.IsException() && OidStartsWith(binding.oid, columns_[i]) &&
           binding.oid.size() > columns_[i].size();
}

bool ColumnWalk::Take(const WalkRow& row, const std::function<void(const WalkRow&)>& onRow) {
    const std::size_t last = columns_.size() - 1;
    if (!InColumn(last, row[last])) return false;
    if (ordered_ ? !(positions_[last] < row[last].oid) : !seen_.insert(row[last].oid).second)
        return false;
    // A column moves on to what answered it unless that is an exception or lies before it: an
    // agent that answers at or before the request is asked the same again.
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (InColumn(i, row[i]) || (!row[i].value.IsException() && positions_[i] < row[i].oid))
            positions_[i] = row[i].oid;
    }
    ++rows_;
    onRow(row);
    return true;
}

WalkEnd ColumnWalk::Run(const WalkSender& send, const WalkStep& step,
                        const std::function<void(const WalkRow&)>& onRow) {
    const std::size_t width = columns_.size();
    if (width == 0) return WalkEnd::Done;
    for (;;) {
        if (step.stop && step.stop()) return WalkEnd::Stopped;
        if (rows_ >= step.maxRows) return WalkEnd::RowLimit;
        std::vector<VarBind> bindings;
        bindings.reserve(width);
        for (const Oid& oid : positions_) bindings.push_back({oid, Value::Null()});
        ++requests_;
        Reply reply = send(step.bulk ? pdu::kGetBulk : pdu::kGetNext, step.maxRepetitions,
                           std::move(bindings));
        std::vector<VarBind>& answer = reply.pdu.bindings;
        if (reply.status == Status::Cancelled) {
            failure_ = std::move(reply);
            return WalkEnd::Stopped;
        }
        if (step.bulk) {
            // An agent without GetBulk says so with an error or stays silent; one that cannot
            // authenticate us fails alike for get-next.
            const bool refused = (reply.status == Status::Ok &&
                                  (reply.pdu.errorStatus != 0 || answer.size() < width)) ||
                                 reply.status == Status::Timeout;
            if (refused) {
                failure_ = std::move(reply);
                return WalkEnd::BulkRefused;
            }
        }
        if (reply.status != Status::Ok || reply.pdu.errorStatus != 0 || answer.size() < width) {
            // An SNMPv1 agent marks the end of its view with noSuchName; that is an end, not a
            // fault.
            const bool endOfView = reply.status == Status::Ok;
            failure_ = std::move(reply);
            return endOfView ? WalkEnd::Done : WalkEnd::Failed;
        }
        const std::size_t steps = step.bulk ? answer.size() / width : 1;
        WalkRow row(width);
        for (std::size_t s = 0; s < steps; ++s) {
            if (s > 0) {
                if (step.stop && step.stop()) return WalkEnd::Stopped;
                if (rows_ >= step.maxRows) return WalkEnd::RowLimit;
            }
            for (std::size_t i = 0; i < width; ++i) row[i] = std::move(answer[s * width + i]);
            if (!Take(row, onRow)) return WalkEnd::Done;
        }
    }
}

}  // namespace tarvell::snmp
