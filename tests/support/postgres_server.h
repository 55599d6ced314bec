#pragma once

// The PostgreSQL server the line's tests run against: the libpq URI in QOR_TEST_PG_URI
// (scripts/test.sh starts a throwaway one). Without it those tests are skipped.

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

inline const char* TestServerUri() {
    const char* uri = std::getenv("QOR_TEST_PG_URI");
    return uri && *uri ? uri : nullptr;
}

#define QOR_NEED_SERVER()                                                       \
    if (!TestServerUri()) GTEST_SKIP() << "QOR_TEST_PG_URI is not set";        \
    static_assert(true)

// A batch name no other test (or earlier run) uses.
inline std::string UniqueBatch(const std::string& stem) {
    static std::atomic<int> n{0};
    return stem + "-" + std::to_string(::getpid()) + "-" + std::to_string(++n) + "-" +
           std::to_string(std::rand());
}

// Runs SQL on the test server as another program would: the rows, "|" between fields, a line
// each; "error: ..." on failure.
inline std::string ServerSql(const std::string& sql) {
    PGconn* c = PQconnectdb(TestServerUri());
    std::string out;
    PGresult* r = PQexec(c, sql.c_str());
    if (PQresultStatus(r) == PGRES_TUPLES_OK || PQresultStatus(r) == PGRES_COMMAND_OK) {
        for (int i = 0; i < PQntuples(r); ++i) {
            for (int j = 0; j < PQnfields(r); ++j)
                out += (j ? "|" : "") + std::string(PQgetvalue(r, i, j));
            out += "\n";
        }
    } else {
        out = std::string("error: ") + PQerrorMessage(c);
    }
    PQclear(r);
    PQfinish(c);
    return out;
}
