#pragma once

#include <QString>

/// The product name shortened for message-box titles: cut before its last blank once,
/// then again while it is longer than 40 characters. A name without a blank stays whole.
QString ApplicationTitle(const QString &productName);
