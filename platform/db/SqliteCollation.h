#pragma once

struct sqlite3;

namespace db::sqlite {

// Registers the collation ChineseCollation (see SqliteDialect.h) on the
// connection: text as SQL Server's Chinese_PRC_CI_AS compares it, through
// ICU's Chinese collator. Chinese characters follow their pinyin, all of
// GBK alike; letter case and the width of letters and digits make no
// difference, accents do; digits and Latin letters come before Chinese
// characters; trailing blanks are not compared. DbError when ICU cannot
// give the collator.
void addChineseCollation(sqlite3* handle);

} // namespace db::sqlite
