#pragma once

#include <QFile>
#include <QString>

// The bytes of a volume, read once from start to end in pieces of any size.
class VolumeSource {
public:
    virtual ~VolumeSource() = default;
    // Bytes in the volume; a multiple of 512.
    [[nodiscard]] virtual qint64 size() const = 0;
    // Fills exactly length bytes with the next part of the volume; false on a read failure.
    [[nodiscard]] virtual bool read(char* buffer, qint64 length) = 0;
    [[nodiscard]] virtual QString errorString() const = 0;
};

// A volume already in a file (an ISO image), zero-padded to whole sectors.
class FileVolumeSource : public VolumeSource {
public:
    explicit FileVolumeSource(const QString& path);
    [[nodiscard]] bool open();
    [[nodiscard]] qint64 size() const override;
    [[nodiscard]] bool read(char* buffer, qint64 length) override;
    [[nodiscard]] QString errorString() const override { return m_file.errorString(); }

private:
    QFile m_file;
    qint64 m_position = 0;
};
