#include "Readmit.h"

#include <libpq-fe.h>

#include <vector>

#include "PackageMessage.h"
#include "PackageStore.h"
#include "PgConnection.h"

namespace zelvar {

namespace {

// Rows read and stored at a time: payloads are up to 64 KiB each.
constexpr int kChunk = 5'000;

std::int64_t bigEndian(const char* bytes) {
    std::uint64_t n = 0;
    for (int i = 0; i < 8; ++i) n = (n << 8) | static_cast<unsigned char>(bytes[i]);
    return static_cast<std::int64_t>(n);
}

PgResult run(PGconn* conn, const std::string& sql, const std::vector<std::string>& values,
             int resultFormat) {
    std::vector<const char*> pointers;
    for (const std::string& value : values) pointers.push_back(value.c_str());
    return PgExecParams(conn, sql.c_str(), static_cast<int>(pointers.size()), pointers.data(),
                        resultFormat);
}

}  // namespace

ReadmitCounts Readmit(const std::string& conninfo, const std::string& station) {
    PackageStore store(conninfo);
    const PgConnection conn = PgConnect(conninfo);
    ReadmitCounts counts;
    std::int64_t after = 0;
    const std::string pattern = std::string(kTimeReason) + "%";
    while (true) {
        // Binary results: the payload as its bytes, the id in 8 bytes.
        const PgResult rows =
            run(conn.get(),
                "SELECT id, station, payload FROM refused WHERE id > $1::bigint AND reason LIKE $2 "
                "AND ($3 = '' OR station = $3) ORDER BY id LIMIT " +
                    std::to_string(kChunk),
                {std::to_string(after), pattern, station}, 1);
        const int count = PQntuples(rows.get());
        if (count == 0) break;
        std::string ids = "{";
        std::string row;
        for (int i = 0; i < count; ++i) {
            after = bigEndian(PQgetvalue(rows.get(), i, 0));
            const std::string_view name(PQgetvalue(rows.get(), i, 1),
                                        static_cast<std::size_t>(PQgetlength(rows.get(), i, 1)));
            const std::string_view payload(PQgetvalue(rows.get(), i, 2),
                                           static_cast<std::size_t>(PQgetlength(rows.get(), i, 2)));
            PackageMessage package;
            std::string error;
            row.clear();
            if (!PackageMessageRow(payload, name, package, row, error)) {
                ++counts.kept;
                continue;
            }
            store.add(row);
            if (ids.size() > 1) ids += ',';
            ids += std::to_string(after);
            ++counts.readmitted;
        }
        store.flush();
        run(conn.get(), "DELETE FROM refused WHERE id = ANY($1::bigint[])", {ids + "}"}, 0);
    }
    return counts;
}

}  // namespace zelvar
