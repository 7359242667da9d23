#pragma once
// A fresh library in a temporary folder, opened on one connection.
#include "common/sqlquote.h"
#include "common/store/store.h"
#include "tests/support/sandbox.h"

#include <gtest/gtest.h>

namespace zv::test {

class LibraryFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = box_.path(QStringLiteral("local.res"));
        QString error;
        ASSERT_TRUE(store::createLibrary(path_, &error)) << error.toStdString();
        ASSERT_TRUE(db_.open(path_, &error)) << error.toStdString();
    }

    // Inserts a record as the programs do and returns its id.
    qint64 addRecord(const QString &name, const QString &folder, int updateState = 1, const QString &code = {})
    {
        const QString c = code.isEmpty() ? QStringLiteral("3!1!2!0!") : code;
        const QString sql = QStringLiteral("insert into table_file (file_name,path,file_code,update_state) values ('")
                            + sqlQuote(name) + QStringLiteral("','") + sqlQuote(folder) + QStringLiteral("','") + c
                            + QStringLiteral("',") + QString::number(updateState) + u')';
        QString error;
        EXPECT_TRUE(db_.exec(sql, &error)) << error.toStdString();
        return db_.lastInsertId();
    }

    // A single integer from a statement, or -999 when it fails.
    qint64 scalar(const QString &sql)
    {
        store::ResultSet rs;
        QString error;
        if (!rs.open(db_, sql, &error) || rs.eof()) {
            ADD_FAILURE() << sql.toStdString() << ": " << error.toStdString();
            return -999;
        }
        return rs.field(0).toLongLong();
    }

    Sandbox box_;
    QString path_;
    store::Database db_;
};

inline std::string str(const QString &s)
{
    return s.toStdString();
}

} // namespace zv::test
