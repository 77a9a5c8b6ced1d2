#pragma once

#include <QMap>
#include <QString>

// Stores object under key when object is not null; a null object leaves the dictionary
// as it was, including an entry already under that key. An empty object is stored.
void setNullableObject(QMap<QString, QString>& dictionary, const QString& object,
                       const QString& key);
