#include "Extensions/DictionaryExtension.h"

void setNullableObject(QMap<QString, QString>& dictionary, const QString& object,
                       const QString& key) {
    if (object.isNull())
        return;
    dictionary.insert(key, object);
}
