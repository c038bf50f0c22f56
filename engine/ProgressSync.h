// What a command's work, on a thread of its own, and its progress window
// share: how far the work has come, and whether the user asked it to stop.
// The work reports and asks; the window reads on a timer and asks to stop.
// Nothing else passes between them, and the work touches no window.
#pragma once

#include <atomic>
#include <cstdint>

class CProgressSync
{
public:
    // The work has phases parts of equal weight (the backup copy, the new
    // file).
    explicit CProgressSync(int phases = 1) : m_phases(phases > 0 ? phases : 1) {}
    CProgressSync(const CProgressSync&) = delete;
    CProgressSync& operator=(const CProgressSync&) = delete;

    // From the work: the phase it now works on (from 0), and done bytes of
    // total in it.
    void SetPhase(int phase) { m_phase = phase; }
    void SetLastPhase() { m_phase = m_phases - 1; }
    void Report(uint64_t done, uint64_t total)
    {
        const uint64_t part = total == 0 || done >= total ? 1000 : done * 1000 / total;
        m_permille = static_cast<int>((m_phase * 1000 + part) / m_phases);
    }
    // Report as a callback that also asks whether to go on (the resource
    // writer's ResourceCommitOptions::progress); context is the record.
    static bool Going(uint64_t done, uint64_t total, void* context)
    {
        auto& sync = *static_cast<CProgressSync*>(context);
        sync.Report(done, total);
        return !sync.Stopped();
    }
    // Thousandths of the whole work done so far.
    int Permille() const { return m_permille; }

    void Stop() { m_stop = true; }
    bool Stopped() const { return m_stop; }
    void Finish() { m_finished = true; }
    bool Finished() const { return m_finished; }

private:
    const int m_phases;
    int m_phase = 0; // the work's own
    std::atomic<int> m_permille{0};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
};
