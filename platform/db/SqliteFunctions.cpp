#include "SqliteFunctions.h"

#include "DbError.h"
#include "platform/text/Gbk.h"

#include <QByteArray>
#include <QString>
#include <sqlite3.h>
#include <utility>

namespace db::sqlite {
namespace {

// gbk_length(text): the text's length in bytes of the GBK code page, which is
// how SQL Server with a Chinese collation measures varchar(n). Files made
// before the lengths were kept by triggers check them with this function.
void gbkLength(sqlite3_context* context, int, sqlite3_value** arguments)
{
    sqlite3_value* value = arguments[0];
    if (sqlite3_value_type(value) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    const int size = sqlite3_value_bytes(value);
    for (int i = 0; i < size; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80) {
            sqlite3_result_int(context, Gbk::byteLength(QString::fromUtf8(text, size)));
            return;
        }
    }
    sqlite3_result_int(context, size); // ASCII: one byte a character in GBK as in UTF-8
}

// tsql_number(value): a text read as SQL Server reads a varchar that is
// compared with an integer: an optional sign and digits between blanks, the
// empty text as 0. Any other text fails the statement, as it does there.
void tsqlNumber(sqlite3_context* context, int, sqlite3_value** arguments)
{
    sqlite3_value* value = arguments[0];
    if (sqlite3_value_type(value) != SQLITE_TEXT) {
        sqlite3_result_value(context, value);
        return;
    }
    const QByteArray text(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                          sqlite3_value_bytes(value));
    qsizetype i = 0;
    qsizetype end = text.size();
    while (i < end && text[i] == ' ')
        ++i;
    while (end > i && text[end - 1] == ' ')
        --end;
    const bool negative = i < end && text[i] == '-';
    if (i < end && (text[i] == '-' || text[i] == '+'))
        ++i;
    qint64 number = 0;
    for (; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            const QByteArray message = "Conversion failed when converting the varchar value '" +
                                       text + "' to data type int.";
            sqlite3_result_error(context, message.constData(), static_cast<int>(message.size()));
            return;
        }
        number = number * 10 + (text[i] - '0');
        if (number > 2147483648LL) {
            const QByteArray message =
                "The conversion of the varchar value '" + text + "' overflowed an int column.";
            sqlite3_result_error(context, message.constData(), static_cast<int>(message.size()));
            return;
        }
    }
    sqlite3_result_int64(context, negative ? -number : number);
}

} // namespace

void addFunctions(sqlite3* handle)
{
    for (const auto& [name, function] :
         {std::pair{"gbk_length", gbkLength}, std::pair{"tsql_number", tsqlNumber}}) {
        if (sqlite3_create_function_v2(handle, name, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                       function, nullptr, nullptr, nullptr) != SQLITE_OK)
            throw DbError(QString::fromUtf8(sqlite3_errmsg(handle)));
    }
}

} // namespace db::sqlite
