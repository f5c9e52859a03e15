#include <cstdio>

#include "app/Form1.h"
#include "app/StatementModel.h"
#include "files/SafeFile.h"

namespace pm {

void Form1::SaveRecords(bool closing) {
    RunRecords* records = options_.records;
    if (records == nullptr) return;
    std::string error;
    if (records->wantsList()) {
        const auto entry = [this](std::size_t i) { return model_->at(i); };
        const std::size_t size = model_->size();
        if (listClearedSinceRecord_ || size < listRecorded_) {
            records->writeList(size, entry, error);
        } else {
            records->appendList(listRecorded_, size, entry, error);
        }
        listRecorded_ = size;
        listClearedSinceRecord_ = false;
    }
    if (closing) {
        records->close(error);
    } else {
        records->flush();
    }
    if (!error.empty()) std::fprintf(stderr, "portmill: %s\n", ShownText(error).c_str());
}

}  // namespace pm
