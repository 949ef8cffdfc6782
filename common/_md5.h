#pragma once

#include <QString>

// MD5 of the password's GBK bytes as 32 lowercase hexadecimal digits: the
// form fid_user.user_password holds.
QString PasswordDigest(const QString& password);
