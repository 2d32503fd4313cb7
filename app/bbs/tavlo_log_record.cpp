#include "tavlo_log_record.h"

#include "tavlo_dat_file.h"
#include "tavlo_info_file.h"
#include "tavlo_message.h"

void TavloRecordUnshownLog(const CTavloMessage& message) {
    if (message.Type != CTavloMessage::TYPE_CLOSEFILE)
        return;
    if (static_cast<const CTavloCloseFileMessage&>(message).Written <= 0)
        return;
    CTavloInfoFile info;
    CTavloInfoFile::Create(message.BoardUrl, message.Key, info);
    info.Count = CTavloDatFile::Count(message.DatPath);
    info.New = true;
    CTavloInfoFile::Write(info);
}
