#pragma once

// The data file as the console edits it: the configuration, whether it holds changes not
// yet written, and loads and saves that never write over a file they could not read nor
// over someone else's edits unasked.

#include "ConfigModel.h"
#include "FileMod.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>

#include <functional>

class MessageBoxes;

class ConsoleDocument : public QObject {
    Q_OBJECT

public:
    explicit ConsoleDocument(QString path, QObject* parent = nullptr);

    // Reads the file. A file without a key gets one, as long as the rest of it reads; a
    // file that cannot be read is left exactly as it is. The configuration and the
    // changed flag are replaced only on success.
    [[nodiscard]] FileMod::FileResult load();

    enum class SaveResult { Saved, Failed, Reloaded, Cancelled };
    // Writes the configuration and reads it back. When the file changed on disk since it
    // was loaded, `boxes` asks first: reload (dropping the changes), overwrite, or cancel.
    SaveResult save(MessageBoxes& boxes);

    // True when the file's content differs from what was last loaded or saved.
    [[nodiscard]] bool changedOnDisk();

    [[nodiscard]] const Configuration& configuration() const { return config_; }
    // Applies `edit` to the configuration and marks the document changed.
    void change(const std::function<void(Configuration&)>& edit);
    [[nodiscard]] bool isChanged() const { return changed_; }
    [[nodiscard]] const QString& path() const { return path_; }
    // Why the last load or save failed.
    [[nodiscard]] const QString& lastError() const { return lastError_; }

signals:
    // The configuration was replaced by the file's content.
    void reloaded();
    // An edit was made in memory.
    void edited();

private:
    struct Stamp {
        bool exists = false;
        qint64 size = -1;
        QDateTime modified;
        QByteArray checksum;
    };
    [[nodiscard]] Stamp stampNow() const;
    [[nodiscard]] FileMod::FileResult loadInto(Configuration& config) const;

    QString path_;
    Configuration config_;
    bool changed_ = false;
    Stamp stamp_;
    QString lastError_;
};
