#pragma once

#include <QVariant>

namespace db {

// How a value is bound to a statement's parameter; both engines follow it,
// so that a value is stored alike on SQL Server and SQLite.
enum class Binding
{
    Null,
    Integer, // a signed 64-bit integer
    Real,    // a double
    Text,    // the value's text
    Blob,    // a QByteArray's bytes
};

// The one rule per type: invalid and null values are NULL; bool and the
// integer types, char, signed char and unsigned char among them, are
// integers; double and float are reals; QByteArray is a
// blob; anything else binds as its text. An unsigned value beyond the
// largest signed 64-bit integer fits neither engine's integers and throws
// DbError rather than being stored wrapped or rounded.
Binding bindingOf(const QVariant& value);

} // namespace db
