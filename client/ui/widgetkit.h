#pragma once
// Small helpers the client's windows share when they build their components.
#include <QComboBox>
#include <QString>
#include <QStringList>

namespace zv::client::ui {

// Gives a component the object name that tests find it by (its field name).
template <typename T>
T *named(T *object, const char *name)
{
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

// A choice list with items and nothing chosen; an editable one never adds
// what the user types to its items.
inline QComboBox *comboBox(QWidget *parent, const char *name, bool editable, const QStringList &items = {})
{
    auto *box = named(new QComboBox(parent), name);
    box->setEditable(editable);
    box->addItems(items);
    if (editable)
        box->setInsertPolicy(QComboBox::NoInsert);
    box->setCurrentIndex(-1);
    return box;
}

// The decimal numbers from..to as texts.
inline QStringList numbers(int from, int to)
{
    QStringList list;
    for (int i = from; i <= to; ++i)
        list << QString::number(i);
    return list;
}

} // namespace zv::client::ui
