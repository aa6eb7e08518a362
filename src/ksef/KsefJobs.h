#pragma once

#include "handling/JobHandlers.h"
#include "handling/LaterOutcomes.h"
#include "handling/Settings.h"
#include "ksef/Fa3Schema.h"
#include "ksef/KsefQueue.h"
#include "ksef/KsefSender.h"

#include <memory>

namespace ostrevo {

// The <KSEF> jobs and their queue: a job is read, checked, written as FA(3) and checked
// against the schema, then queued whole before its files go; the sender takes it from
// there. One per process, beside the other job modules.
class KsefJobs {
public:
    KsefJobs(QString programDir, LaterOutcomes &outcomes, NetTimeouts timeouts = {}, KsefPacing pacing = {});
    ~KsefJobs();
    KsefJobs(const KsefJobs &) = delete;
    KsefJobs &operator=(const KsefJobs &) = delete;

    void afterSettingsRead(const Settings &settings);
    void registerHandler(JobHandlers &handlers);
    // Until every invoice that can go now went; false on time-out.
    bool waitUntilIdle(int timeoutMs);
    KsefSender &sender() { return m_sender; }
    const KsefQueue &queue() const { return m_queue; }

private:
    JobResult perform(const JobContext &context, const QString &textPath);
    const Fa3Schema &schema();

    QString m_programDir;
    KsefQueue m_queue;
    KsefSender m_sender;
    std::unique_ptr<Fa3Schema> m_schema; // read at the first invoice
};

} // namespace ostrevo
