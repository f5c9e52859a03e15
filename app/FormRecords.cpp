#include <cstdio>

#include "app/Form1.h"
#include "app/StatementModel.h"

namespace pm {

void Form1::SaveRecords(bool closing) {
    RunRecords* records = options_.records;
    if (records == nullptr) return;
    std::string error;
    records->writeList(
        model_->size(), [this](std::size_t i) { return model_->at(i); }, error);
    if (closing) {
        records->close(error);
    } else {
        records->flush();
    }
    if (!error.empty()) std::fprintf(stderr, "portmill: %s\n", error.c_str());
}

}  // namespace pm
