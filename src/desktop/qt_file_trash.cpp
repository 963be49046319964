#include "desktop/qt_file_trash.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>
#include <optional>

namespace pellmarsh {
namespace {

// The filesystem of a directory this user may make entries in.
std::optional<dev_t> WritableDirectoryDevice(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  struct stat info {};
  if (::stat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
      ::access(native.constData(), W_OK | X_OK) != 0) {
    return std::nullopt;
  }
  return info.st_dev;
}

QString ParentOf(const QString& path) {
  return QFileInfo(path).absolutePath();
}

// What Qt's choice of a trash directory rests on: there, or made by one mkdir.
bool Makeable(const QString& directory) {
  return QFileInfo(directory).isDir() || WritableDirectoryDevice(ParentOf(directory));
}

// A shared ".Trash" counts only as a real directory with the sticky bit:
// anyone could have planted a symbolic link.
bool IsSharedTrash(const QString& path) {
  struct stat info {};
  return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
         (info.st_mode & S_ISVTX) != 0;
}

// The order QFile::moveToTrash tries on Linux: off the home filesystem, the
// top directory's ".Trash/$uid", then its ".Trash-$uid"; else the home trash.
QString TrashDirectoryFor(const QString& file) {
  const QStorageInfo storage(file);
  if (storage.isValid() && storage != QStorageInfo(QDir::home())) {
    const QDir top(storage.rootPath());
    const QString uid = QString::number(::getuid());
    const QString shared = top.filePath(".Trash");
    if (IsSharedTrash(shared) && Makeable(shared + "/" + uid)) {
      return shared + "/" + uid;
    }
    if (const QString own = top.filePath(".Trash-" + uid); Makeable(own)) {
      return own;
    }
  }
  return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
      .filePath("Trash");
}

}  // namespace

bool QtFileTrash::CanTrash(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    return false;
  }
  const QString trash =
      TrashDirectoryFor(QFileInfo(QFile::decodeName(path.c_str())).absoluteFilePath());
  // Qt never copies across filesystems: the trash must be on the file's own.
  return WritableDirectoryDevice(QFileInfo(trash).isDir() ? trash : ParentOf(trash)) == info.st_dev;
}

bool QtFileTrash::MoveToTrash(const std::string& path) {
  return QFile::moveToTrash(QFile::decodeName(path.c_str()));
}

}  // namespace pellmarsh
