// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestCertificates.h"
#include "TestSupport.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QSslConfiguration>
#include <QTemporaryDir>

#include <stdexcept>

namespace {

void openssl(const QStringList& args, const QString& folder)
{
    const testing_support::ProgramRun run = testing_support::runProgram(
        QStringLiteral("openssl"), args, {}, QProcessEnvironment::systemEnvironment(), folder);
    if (run.exitCode != 0)
        throw std::runtime_error("openssl " + args.join(' ').toStdString()
                                 + " failed (run scripts/install-deps): " + run.err.toStdString());
}

// Small EC keys: quick to make on a loaded machine.
const QStringList kNewKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};

} // namespace

const TestCertificates& TestCertificates::instance()
{
    static TestCertificates certificates;
    return certificates;
}

void TestCertificates::trustTestCa()
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.addCaCertificate(instance().ca());
    QSslConfiguration::setDefaultConfiguration(config);
}

TestCertificates::TestCertificates() : dir_(std::make_unique<QTemporaryDir>())
{
    if (!dir_->isValid())
        throw std::runtime_error("cannot make a folder for the test certificates");
    const QString d = dir_->path();
    openssl(QStringList{"req", "-x509"} + kNewKey
                + QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-days", "30", "-subj", "/CN=Korvalen Test CA",
                              "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                              "keyUsage=critical,keyCertSign,cRLSign"},
            d);
    ca_ = QSslCertificate(testing_support::readFile(d + "/ca.pem"));
    good_ = make("good", "IP:127.0.0.1,DNS:localhost", true);
    selfSigned_ = make("self", "IP:127.0.0.1,DNS:localhost", false);
    otherHost_ = make("other", "DNS:mail.other.example", true);
}

TestCertificates::~TestCertificates() = default;

TestCertificates::Identity TestCertificates::make(const QString& name, const QString& subjectNames, bool byCa)
{
    const QString d = dir_->path();
    const QString ext = "subjectAltName=" + subjectNames;
    if (byCa) {
        openssl(QStringList{"req", "-new"} + kNewKey
                    + QStringList{"-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + name},
                d);
        QFile extFile(d + "/" + name + ".ext");
        if (!extFile.open(QIODevice::WriteOnly) || extFile.write(ext.toLatin1() + "\n") <= 0)
            throw std::runtime_error("cannot write " + extFile.fileName().toStdString());
        extFile.close();
        openssl({"x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial", "-out",
                 name + ".pem", "-days", "30", "-extfile", name + ".ext"},
                d);
    } else {
        openssl(QStringList{"req", "-x509"} + kNewKey
                    + QStringList{"-keyout", name + ".key", "-out", name + ".pem", "-days", "30", "-subj",
                                  "/CN=" + name, "-addext", ext},
                d);
    }
    Identity id;
    id.certFile = d + "/" + name + ".pem";
    id.keyFile = d + "/" + name + ".key";
    id.certificate = QSslCertificate(testing_support::readFile(id.certFile));
    id.key = QSslKey(testing_support::readFile(id.keyFile), QSsl::Ec);
    if (ca_.isNull() || id.certificate.isNull() || id.key.isNull())
        throw std::runtime_error("openssl made no usable " + name.toStdString() + " certificate and key");
    // Dovecot's login process runs as another user and reads these files.
    for (const QString& f : {id.certFile, id.keyFile})
        QFile::setPermissions(f, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    QFile::setPermissions(d, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                 | QFile::ReadOther | QFile::ExeOther);
    return id;
}
