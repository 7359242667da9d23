#pragma once
// The serving engine's look-ups in local.res.
#include "node/serving.h"

#include <functional>

namespace zv::store {
class Database;
}

namespace zv::node {

class StoreServingLibrary final : public ServingLibrary {
public:
    using Log = std::function<void(const QString &)>;
    explicit StoreServingLibrary(store::Database &db, Log log = {});

    // The file code comes from the network: it is quoted like any text, and a
    // code that no file_code column could hold matches nothing.
    std::optional<ServedRecord> findServed(const QString &fileCode) override;
    void withdrawMissing(const QString &fileCode, const QString &fileName) override;

    static constexpr qsizetype kMaxFileCodeChars = 100;

private:
    store::Database &db_;
    Log log_;
};

// Trailing blanks removed.
QString trimTrailingBlanks(const QString &text);

} // namespace zv::node
