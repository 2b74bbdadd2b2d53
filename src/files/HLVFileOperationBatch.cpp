#include "HLVFileOperationBatch.h"
#include "HLVFileData.h"

HLVFileOperationBatch::HLVFileOperationBatch(int kind, const QList<std::shared_ptr<HLVFileData>>& records,
                                             bool expectsAnswers)
    : _kind(kind), _records(records), _expected(expectsAnswers ? records.size() : 0)
{
    if (expectsAnswers) {
        for (const auto& record : records)
            ++_outstanding[record.get()];
    }
}

bool HLVFileOperationBatch::creditAnswer(const HLVFileData* record)
{
    {
        std::lock_guard lock(_lock);
        auto it = _outstanding.find(record);
        if (it == _outstanding.end())
            return false;
        if (--it.value() == 0)
            _outstanding.erase(it);
    }
    ++_answered;
    return true;
}
