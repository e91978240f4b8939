#pragma once
#include "core/state/AgentEvent.h"

#include <map>
#include <mutex>
#include <set>
#include <vector>

// Several FTP sessions share one pass's files, yet the author reads each file's lines whole
// and in the order of the list: the events of the file at the head go out as they come; those
// of the files after it wait, in their order, until every file before them is done.
class CFileOrder {
public:
    explicit CFileOrder(IAgentEvents& out) : m_out(out) {}
    ~CFileOrder() { Finish(); }
    CFileOrder(const CFileOrder&) = delete;
    CFileOrder& operator=(const CFileOrder&) = delete;

    // Where the events of the file at `index` (counted from the pass's first) are reported.
    class CSlot final : public IAgentEvents {
    public:
        CSlot(CFileOrder& order, int index) : m_order(order), m_index(index) {}
        void Report(const CAgentEvent& event) override { m_order.Report(m_index, event); }

    private:
        CFileOrder& m_order;
        int m_index;
    };

    void Report(int index, const CAgentEvent& event);
    // The file at `index` has said everything; the files after it may speak.
    void Done(int index);
    // The pass is over: what is still held goes out, in order (files no session reached).
    void Finish();

private:
    void Flush();  // with the lock held

    IAgentEvents& m_out;
    std::mutex m_lock;
    int m_head = 0;
    std::map<int, std::vector<CAgentEvent>> m_held;
    std::set<int> m_done;
};
