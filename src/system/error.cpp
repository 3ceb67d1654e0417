#include "system/error.h"

namespace forms {

Error::Error(int number, QString description)
    : number_(number), description_(std::move(description)), utf8_(description_.toStdString()) {}

QString Describe(int number) {
    switch (number) {
        case err::InvalidArgument:
            return QStringLiteral("プロシージャの呼び出し、または引数が不正です。");
        case err::Overflow:
            return QStringLiteral("オーバーフローしました。");
        case err::OutOfMemory:
            return QStringLiteral("メモリが不足しています。");
        case err::TypeMismatch:
            return QStringLiteral("型が一致しません。");
        case err::FileNotFound:
            return QStringLiteral("ファイルが見つかりません。");
        case err::DeviceUnavailable:
            return QStringLiteral("デバイスが準備されていません。");
        case err::PermissionDenied:
            return QStringLiteral("アクセスが拒否されました。");
        case err::PathNotFound:
            return QStringLiteral("パスが見つかりません。");
        case err::InvalidPicture:
            return QStringLiteral("ピクチャが不正です。");
    }
    return QStringLiteral("アプリケーション定義またはオブジェクト定義のエラーです。");
}

void Raise(int number) { throw Error(number, Describe(number)); }

}  // namespace forms
