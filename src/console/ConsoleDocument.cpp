#include "ConsoleDocument.h"

#include "MessageBoxes.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

ConsoleDocument::ConsoleDocument(QString path, QObject* parent)
    : QObject(parent), path_(std::move(path)) {}

ConsoleDocument::Stamp ConsoleDocument::stampNow() const {
    Stamp stamp;
    const QFileInfo info(path_);
    if (!info.exists())
        return stamp;
    stamp.exists = true;
    stamp.size = info.size();
    stamp.modified = info.lastModified();
    QFile file(path_);
    if (file.open(QIODevice::ReadOnly))
        stamp.checksum = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
    return stamp;
}

bool ConsoleDocument::changedOnDisk() {
    const QFileInfo info(path_);
    if (info.exists() == stamp_.exists && info.size() == stamp_.size &&
        info.lastModified() == stamp_.modified)
        return false;
    const Stamp now = stampNow();
    if (now.exists != stamp_.exists || now.checksum != stamp_.checksum)
        return true;
    // Touched, not changed.
    stamp_ = now;
    return false;
}

FileMod::FileResult ConsoleDocument::loadInto(Configuration& config) const {
    FileMod::FileResult loaded = FileMod::LoadData(config, path_, FileMod::KeyPolicy::RequireKey);
    if (loaded || !QFileInfo::exists(path_))
        return loaded ? loaded : FileMod::LoadData(config, path_, FileMod::KeyPolicy::MakeNewKey);
    // A file without a key gets one on loading, which rewrites it: try that on a copy
    // first, so that a file whose rest cannot be read is never touched.
    const QTemporaryDir scratch;
    const QString copy = scratch.filePath(QStringLiteral("trial.ini"));
    if (!scratch.isValid() || !QFile::copy(path_, copy))
        return loaded;
    Configuration trial;
    if (FileMod::FileResult tried = FileMod::LoadData(trial, copy, FileMod::KeyPolicy::MakeNewKey);
        !tried)
        return {FileMod::FileResult::Failure::Error, tried.error.replace(copy, path_)};
    return FileMod::LoadData(config, path_, FileMod::KeyPolicy::MakeNewKey);
}

FileMod::FileResult ConsoleDocument::load() {
    Configuration loaded;
    FileMod::FileResult result = loadInto(loaded);
    if (!result) {
        if (!result.error.contains(path_))
            result.error = path_ + QStringLiteral(": ") + result.error;
        lastError_ = result.error;
        return result;
    }
    config_ = std::move(loaded);
    changed_ = false;
    stamp_ = stampNow();
    emit reloaded();
    return result;
}

void ConsoleDocument::change(const std::function<void(Configuration&)>& edit) {
    edit(config_);
    changed_ = true;
    emit edited();
}

ConsoleDocument::SaveResult ConsoleDocument::save(MessageBoxes& boxes) {
    if (changedOnDisk()) {
        const MsgBox::Button answer = boxes.show(
            {tr("%1 has been changed by someone else since it was loaded.\n\nReload it and "
                "lose your changes, or overwrite it with your changes?")
                 .arg(QFileInfo(path_).fileName()),
             tr("Save"),
             MsgBox::Icon::Exclamation,
             {MsgBox::Button::Reload, MsgBox::Button::Overwrite, MsgBox::Button::Cancel},
             MsgBox::Button::Cancel});
        if (answer == MsgBox::Button::Reload)
            return load() ? SaveResult::Reloaded : SaveResult::Failed;
        if (answer != MsgBox::Button::Overwrite)
            return SaveResult::Cancelled;
    }
    if (const FileMod::FileResult saved = FileMod::SaveData(config_, path_); !saved) {
        lastError_ = saved.error;
        return SaveResult::Failed;
    }
    // What the file now holds, read back as the service will read it.
    return load() ? SaveResult::Saved : SaveResult::Failed;
}
