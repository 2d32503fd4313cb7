#include "tavlo_errors.h"

const char kTavloCaption[] = "tavlo/0.0.15";
const char kTavloErrorCaption[] = "tavlo";

const char* TavloErrorMessage(int code) {
    // clang-format off
    switch (code) {
    case -100: return "接続エラー";
    case -101: return "HTTPエラー(GET)";
    case -102: return "HTTPエラー(RECV)";
    case -104: return "スレッドが見つかりませんでした";
    case -200: return "ファイルオープンエラー";
    case -201: return "ファイルフォーマットエラー";
    case -202: return "ERR_FILE_WRITE_CONVERT";
    case -203: return "ファイル書き込みエラー";
    case -300: return "ブラウザを設定してください";
    case -501: return "ERR_JBBS_BBS_NOT_FOUND";
    case -502: return "ERR_JBBS_KEY_NOT_FOUND";
    case -503: return "ERR_JBBS_THREAD_NOT_FOUND";
    case -504: return "ERR_JBBS_STORAGE_IN";
    case -505: return "ERR_JBBS_SYSTEM";
    case -600: return "本文を入力してください";
    case -601: return "スレッド名を入力してください";
    case -901: return "●認証エラー";
    case -902: return "システムエラー";
    default: return "";
    }
    // clang-format on
}
