#include "core/keyring/keychainstore.h"

#include <qt6keychain/keychain.h>

namespace {
// A job of the service, deleted once it has answered.
template <class TJob>
TJob* NewJob(const std::string& key)
{
    auto* job = new TJob(QString::fromLatin1(kKeyringService));
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(QString::fromStdString(key));
    return job;
}

TStoreAnswer AnswerOf(const QKeychain::Job& job)
{
    TStoreAnswer answer;
    switch (job.error()) {
    case QKeychain::NoError: answer.Status = TStoreStatus::Ok; break;
    case QKeychain::EntryNotFound: answer.Status = TStoreStatus::NotFound; break;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented: answer.Status = TStoreStatus::NoKeyring; break;
    default: answer.Status = TStoreStatus::Refused; break;
    }
    if (answer.Status == TStoreStatus::NoKeyring || answer.Status == TStoreStatus::Refused)
        answer.Error = job.errorString().toStdString();
    return answer;
}

template <class TJob>
void Start(TJob* job, const std::shared_ptr<bool>& alive, std::function<void(TJob&)> answer)
{
    QObject::connect(job, &QKeychain::Job::finished, job, [job, alive, answer](QKeychain::Job*) {
        if (*alive)
            answer(*job);
    });
    job->start();
}
}  // namespace

void TKeychainStore::Read(const std::string& key, TStoreDone done)
{
    Start<QKeychain::ReadPasswordJob>(NewJob<QKeychain::ReadPasswordJob>(key), Alive,
                                      [done](QKeychain::ReadPasswordJob& job) {
                                          TStoreAnswer answer = AnswerOf(job);
                                          if (answer.Status == TStoreStatus::Ok)
                                              answer.Data = job.textData().toStdString();
                                          done(answer);
                                      });
}

void TKeychainStore::Write(const std::string& key, const std::string& data, TStoreDone done)
{
    auto* job = NewJob<QKeychain::WritePasswordJob>(key);
    job->setTextData(QString::fromStdString(data));
    Start<QKeychain::WritePasswordJob>(job, Alive, [done](QKeychain::WritePasswordJob& j) { done(AnswerOf(j)); });
}

void TKeychainStore::Remove(const std::string& key, TStoreDone done)
{
    Start<QKeychain::DeletePasswordJob>(NewJob<QKeychain::DeletePasswordJob>(key), Alive,
                                        [done](QKeychain::DeletePasswordJob& j) { done(AnswerOf(j)); });
}
