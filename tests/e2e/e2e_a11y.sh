#!/usr/bin/env bash
# What a screen reader gets over AT-SPI: every control of the main window and of the settings
# dialog is named by the caption that labels it on screen, and the settings dialog and the
# message boxes are announced as dialogs. Runs in a private D-Bus session of its own.
set -euo pipefail
if [[ -z ${VARNEL_A11Y_SESSION:-} ]]; then
    exec dbus-run-session -- env VARNEL_A11Y_SESSION=1 bash "$0" "$@"
fi
SESSION_BUS=$DBUS_SESSION_BUS_ADDRESS
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
PICS=$WORK/pictures
mkdir "$PICS"
picture "$PICS/one.jpg" 40x40 '#ff0000'

start_xvfb
export DBUS_SESSION_BUS_ADDRESS=$SESSION_BUS QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
cd "$PICS"
start_varnel
wait_window 15 '^Varnel ver1\.0$'
MAIN=$WIN
log "main window $MAIN is up"

# tree_has REGEX: the application's accessible tree, one "depth<TAB>role<TAB>name" line per
# object, read over AT-SPI with the system's Python (python3-pyatspi), has a line matching.
tree_has() {
    /usr/bin/python3 -c '
import pyatspi
def walk(node, depth):
    print(f"{depth}\t{node.getRoleName()}\t{node.name or str()}")
    for child in node:
        if child is not None: walk(child, depth + 1)
for app in pyatspi.Registry.getDesktop(0):
    if app is not None and app.name == "varnel": walk(app, 0)
' >"$WORK/tree.txt" 2>>"$WORK/atspi.err" && grep -qP "$1" "$WORK/tree.txt"
}
# expect_named ROLE NAME...: each NAME is the name of an object of that role.
expect_named() {
    local role=$1 name
    shift
    for name in "$@"; do
        grep -qP "^\d+\t$role\t\Q$name\E$" "$WORK/tree.txt" ||
            fail "no $role named \"$name\"; the tree:$(printf '\n%s' "$(cat "$WORK/tree.txt")")"
    done
}

wait_for 20 "the main window over AT-SPI" tree_has $'\tframe\tVarnel ver1\\.0$'
expect_named list "選択された画像リスト" "フォルダー" "ファイル"
expect_named "combo box" "ドライブ" "ファイルの種類"
expect_named text "ファイルネーム"
expect_named image "プレビュー"
expect_named "push button" "選択" "削除" "全削除" "再生" "設定" "Varnelの終了"
expect_named "check box" "プレビューを表示する"
log "main window: every control named by its caption"

keys ctrl+o
wait_window 10 '^Varnel ver1\.0 \(設定）$'
wait_for 10 "the settings dialog over AT-SPI" tree_has $'\tdialog\tVarnel ver1\\.0 \\(設定）$'
expect_named text "画像の切り替えタイミング"
expect_named "push button" "OK" "標準（リセット）"
log "settings dialog: a dialog, its text box named by its label"
send_close "$WIN"
wait_no_window 10 '^Varnel ver1\.0 \(設定）$'

focus "$MAIN"
keys ctrl+c
wait_window 10 '^varnel$'
wait_for 10 "the message box over AT-SPI as a dialog" tree_has $'\t(dialog|alert)\tvarnel$'
expect_named dialog varnel
log "message box: a dialog"
keys Return
wait_no_window 5 '^varnel$'
stop_varnel
log "passed"
