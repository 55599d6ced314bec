#include "fleet/ledger.h"

#include "fleet/ledger_backends.h"

namespace {

constexpr const char* kSchemes[] = {"postgresql://", "postgres://"};
constexpr const char* kHidden = "****";

// Where the authority (user:password@host) of a URI ends.
size_t AuthorityEnd(const std::string& uri, size_t from) {
    size_t end = uri.find_first_of("/?", from);
    return end == std::string::npos ? uri.size() : end;
}

size_t SchemeLength(const std::string& where) {
    for (const char* scheme : kSchemes) {
        if (where.rfind(scheme, 0) == 0) return std::string(scheme).size();
    }
    return 0;
}

// Calls f(begin, end) for each password in the URI: the one after "user:" in the authority and
// any "password=" parameter.
template <typename F>
void ForEachPassword(const std::string& uri, F f) {
    size_t from = SchemeLength(uri);
    size_t end = AuthorityEnd(uri, from);
    size_t at = uri.rfind('@', end);
    if (at != std::string::npos && at >= from) {
        size_t colon = uri.find(':', from);
        if (colon < at) f(colon + 1, at);
    }
    size_t query = uri.find('?', from);
    while (query != std::string::npos) {
        size_t key = query + 1;
        size_t next = uri.find('&', key);
        size_t stop = next == std::string::npos ? uri.size() : next;
        if (uri.compare(key, 9, "password=") == 0) f(key + 9, stop);
        query = next;
    }
}

}  // namespace

std::string Ledger::DefaultPath(const std::string& unitsPath) {
    size_t slash = unitsPath.rfind('/');
    return (slash == std::string::npos ? std::string() : unitsPath.substr(0, slash + 1)) +
           "provision.db";
}

std::string Ledger::DefaultBatch(const std::string& unitsPath) {
    size_t slash = unitsPath.rfind('/');
    std::string name = slash == std::string::npos ? unitsPath : unitsPath.substr(slash + 1);
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool Ledger::IsServer(const std::string& where) {
    return SchemeLength(where) > 0;
}

bool Ledger::HasPassword(const std::string& where) {
    bool found = false;
    if (IsServer(where)) ForEachPassword(where, [&](size_t, size_t) { found = true; });
    return found;
}

std::string Ledger::Shown(const std::string& where) {
    if (!IsServer(where)) return where;
    std::string shown;
    size_t copied = 0;
    ForEachPassword(where, [&](size_t begin, size_t end) {
        shown += where.substr(copied, begin - copied) + kHidden;
        copied = end;
    });
    return shown + where.substr(copied);
}

std::unique_ptr<Ledger> Ledger::Open(const std::string& where, const OpenOptions& options,
                                     std::string& error) {
    return IsServer(where) ? OpenPostgresLedger(where, options, error)
                           : OpenSqliteLedger(where, options, error);
}
