#pragma once

// What both kinds of ledger decide alike: who a process is, how a row's values are kept, and
// whether a units table agrees with the rows already bound to modules.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "fleet/unit_plan.h"

namespace ledger_rules {

constexpr const char* kNoAddress = "000.000.000.000";
constexpr const char* kDisagrees =
    "the table disagrees with the ledger about rows already bound to modules:";
constexpr const char* kHowToAgree =
    "Keep each bound row where it is, as it was, and add new rows at the end; to give modules "
    "corrected values, run with --correct (a correction never moves a bound row nor gives one "
    "module's IP address to another).";

std::string HostName();
// Who a process is, beyond its number: the boot it runs in and its start time, so that a number
// used again (or a reboot) does not pass for the process that recorded an attempt. Empty when
// no such process runs.
std::string ProcessIdentity(int64_t pid);
// A row's values as the ledger keeps them: "Column: value" lines in column order by name, so
// that a table whose columns were only reordered holds the same rows.
std::string ValuesText(const UnitConfig& unit);
std::string RowText(int row);
// Whether a row recorded with this fingerprint is the plan's row as the plan has it now.
inline bool IsPlanRow(const UnitPlan& plan, int64_t row, const std::string& fingerprint) {
    return row >= 1 && static_cast<size_t>(row) <= plan.units.size() &&
           plan.units[static_cast<size_t>(row) - 1].fingerprint == fingerprint;
}

// A row bound to a module, as the ledger has it.
struct Bound {
    int row = 0;
    std::string hw, ip, fingerprint, values, state;

    // Whether the table's unit is the row that was bound: the same configuration, or (where
    // the ledger knows them) the same values under another template.
    bool Holds(const UnitConfig& unit) const {
        return fingerprint == unit.fingerprint || (!values.empty() && values == ValuesText(unit));
    }
    std::string Named() const { return RowText(row) + " (bound to " + FormatHwAddress(hw) + ")"; }
};

// The rows bound to modules, read in one query and indexed, so that a whole table is checked
// in one pass.
class Binding {
public:
    Binding(std::vector<Bound> rows, const UnitPlan& plan) : plan_(plan), rows_(std::move(rows)) {
        for (const Bound& b : rows_) {
            byRow_[b.row] = &b;
            byHw_[b.hw] = &b;
            byIp_.emplace(b.ip, &b);
        }
    }
    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;

    const std::vector<Bound>& Rows() const { return rows_; }
    const Bound* AtRow(int row) const {
        auto it = byRow_.find(row);
        return it == byRow_.end() ? nullptr : it->second;
    }
    const Bound* OfModule(const std::string& hw) const {
        auto it = byHw_.find(hw);
        return it == byHw_.end() ? nullptr : it->second;
    }

    // Why the unit cannot go to a module as the table now has it; empty when it can.
    std::string Objection(const UnitConfig& unit, bool correct) const {
        const Bound* self = AtRow(unit.row);
        if (!unit.tiedHw.empty()) {
            if (self && unit.tiedHw != self->hw)
                return self->Named() + " is tied to " + FormatHwAddress(unit.tiedHw) +
                       " in the table";
            if (const Bound* b = OfModule(unit.tiedHw); b && b->row != unit.row)
                return RowText(unit.row) + " is tied to " + FormatHwAddress(unit.tiedHw) +
                       ", which is bound to row " + std::to_string(b->row);
        }
        bool changed = self && !self->Holds(unit);
        if (changed && !correct) {
            std::string text = self->Named() + " holds other values now";
            int now = RowNowHolding(*self);
            return now && now != unit.row ? text + "; what it held is row " + std::to_string(now)
                                          : text;
        }
        if ((!self || changed) && unit.ip != kNoAddress) {
            auto [first, last] = byIp_.equal_range(unit.ip);
            for (auto it = first; it != last; ++it) {
                if (it->second->row != unit.row)
                    return RowText(unit.row) + " gives " + unit.ip + ", the IP address of " +
                           it->second->Named();
            }
        }
        return {};
    }

private:
    // The table's row that holds what a bound row held, 0 when none does.
    int RowNowHolding(const Bound& b) const {
        if (rowByFingerprint_.empty()) {
            for (const UnitConfig& u : plan_.units) {
                rowByFingerprint_.emplace(u.fingerprint, u.row);
                rowByValues_.emplace(ValuesText(u), u.row);
            }
        }
        if (auto it = rowByFingerprint_.find(b.fingerprint); it != rowByFingerprint_.end())
            return it->second;
        auto it = b.values.empty() ? rowByValues_.end() : rowByValues_.find(b.values);
        return it == rowByValues_.end() ? 0 : it->second;
    }

    const UnitPlan& plan_;
    std::vector<Bound> rows_;
    std::unordered_map<int, const Bound*> byRow_;
    std::unordered_map<std::string, const Bound*> byHw_;
    std::unordered_multimap<std::string, const Bound*> byIp_;
    mutable std::unordered_map<std::string, int> rowByFingerprint_, rowByValues_;
};

inline std::string Gone(const Bound& b) {
    return b.Named() + " is no longer in the table";
}

}  // namespace ledger_rules
