#include "SqliteCollation.h"

#include "DbError.h"
#include "SqliteDialect.h"

#include <sqlite3.h>
#include <unicode/ucol.h>
#include <unicode/uscript.h>

namespace db::sqlite {

namespace {

// ICU's collator for Chinese, opened and set once for the process, as
// opening reads the Chinese rules; each connection compares with a clone of
// its own, which goes with the connection.
class Prototype
{
public:
    Prototype()
    {
        m_collator = ucol_open("zh", &m_status); // pinyin is zh's default order
        // Without Chinese data ICU gives its root order, which knows no pinyin.
        if (m_status == U_USING_DEFAULT_WARNING)
            m_status = U_MISSING_RESOURCE_ERROR;
        if (U_FAILURE(m_status))
            return;
        // Case and width differ at ICU's third level, accents at the second.
        ucol_setStrength(m_collator, UCOL_SECONDARY);
        // zh puts Chinese before Latin; Microsoft's Chinese collations put
        // digits and Latin letters first.
        const int32_t scripts[] = {UCOL_REORDER_CODE_DIGIT, USCRIPT_LATIN, USCRIPT_HAN};
        ucol_setReorderCodes(m_collator, scripts, 3, &m_status);
    }
    ~Prototype() { ucol_close(m_collator); }

    Prototype(const Prototype&) = delete;
    Prototype& operator=(const Prototype&) = delete;

    UCollator* clone() const
    {
        if (U_FAILURE(m_status))
            throw DbError(QStringLiteral("ICU has no Chinese collation: %1")
                              .arg(QString::fromLatin1(u_errorName(m_status))));
        UErrorCode status = U_ZERO_ERROR;
        UCollator* copy = ucol_clone(m_collator, &status);
        if (U_FAILURE(status))
            throw DbError(QStringLiteral("Cannot copy ICU's Chinese collation: %1")
                              .arg(QString::fromLatin1(u_errorName(status))));
        return copy;
    }

private:
    UErrorCode m_status = U_ZERO_ERROR;
    UCollator* m_collator = nullptr;
};

// The size of the text without its trailing blanks.
int withoutTrailingBlanks(const void* text, int size)
{
    const char* bytes = static_cast<const char*>(text);
    while (size > 0 && bytes[size - 1] == ' ')
        --size;
    return size;
}

// SQLite's text comes as UTF-8, which ICU compares without converting it;
// ill-formed bytes compare as U+FFFD. SQL Server pads the shorter text with
// blanks before it compares, so trailing blanks make no difference.
int compareChinese(void* collator, int leftSize, const void* left, int rightSize, const void* right)
{
    UErrorCode status = U_ZERO_ERROR;
    return ucol_strcollUTF8(static_cast<const UCollator*>(collator), static_cast<const char*>(left),
                            withoutTrailingBlanks(left, leftSize), static_cast<const char*>(right),
                            withoutTrailingBlanks(right, rightSize), &status);
}

void closeCollator(void* collator)
{
    ucol_close(static_cast<UCollator*>(collator));
}

} // namespace

void addChineseCollation(sqlite3* handle)
{
    static const Prototype prototype;
    UCollator* collator = prototype.clone();
    // SQLite closes the collator with the connection, but not when the
    // registration fails.
    if (sqlite3_create_collation_v2(handle, ChineseCollation, SQLITE_UTF8, collator, compareChinese,
                                    closeCollator) != SQLITE_OK) {
        closeCollator(collator);
        throw DbError(QString::fromUtf8(sqlite3_errmsg(handle)));
    }
}

} // namespace db::sqlite
