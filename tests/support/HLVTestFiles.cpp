#include "HLVTestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <stdexcept>

HLVTestFiles::HLVTestFiles()
{
    if (!_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

QString HLVTestFiles::fixturePath(const QString& fixtureName)
{
    // A run as another user (scripts/run-unprivileged) brings its own copy of
    // the fixtures, since the checkout may not be readable to that user.
    static const QString folder = qEnvironmentVariableIsSet("CADRELLE_TEST_DATA_COPY")
        ? qEnvironmentVariable("CADRELLE_TEST_DATA_COPY")
        : QStringLiteral(CADRELLE_TEST_DATA_DIR);
    return folder + QLatin1Char('/') + fixtureName;
}

QString HLVTestFiles::copyFixture(const QString& fixtureName, const QString& asName)
{
    const QString target = path(asName.isEmpty() ? fixtureName : asName);
    QFile::remove(target);
    if (!QFile::copy(fixturePath(fixtureName), target))
        throw std::runtime_error("cannot copy fixture " + fixtureName.toStdString());
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                      | QFileDevice::ReadOther);
    return target;
}

QString HLVTestFiles::path(const QString& name) const
{
    return _dir.filePath(name);
}

QString HLVTestFiles::writeFile(const QString& name, const QByteArray& bytes)
{
    const QString target = path(name);
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + name.toStdString());
    return target;
}

QByteArray HLVTestFiles::readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}
