#pragma once
// The region list quyu.obj and the fixed lists of the registration and
// profile forms.
#include <QString>
#include <QStringList>

namespace zv::client {

// The 34 provinces, in the order the forms list them.
const QStringList &provinceList();
// The subjects of the forms, in order.
const QStringList &subjectList();

// The cities of province from the region list at path: one line per city,
// "province city" (everything after the first space is the city). The lines
// of a province stand together; reading stops at the first line of another
// province after the matching run. A missing file gives no cities.
QStringList citiesOf(const QString &path, const QString &province);

// The same over lines already read.
QStringList citiesOf(const QStringList &lines, const QString &province);

} // namespace zv::client
