#!/usr/bin/env bash
# The bash completion of pivana, driven as bash drives it, with the real pivana of the build.
# usage: completion_test.sh COMPLETION BUILD_BIN
set -uo pipefail
source "$1"
_pivana_query_seconds=120  # a sanitized pivana on a busy machine may need more
export PATH="$2:$PATH"
failures=0

complete_line() {  # index of the word being completed, words...; the cursor ends that word
    COMP_CWORD=$1
    shift
    COMP_WORDS=("$@")
    COMP_LINE="${COMP_WORDS[*]}"
    local -a upto=("${COMP_WORDS[@]:0:COMP_CWORD+1}")
    local before="${upto[*]}"
    COMP_POINT=${#before}
    _pivana
    echo "${COMPREPLY[*]}"
}
expect() {  # name, expected, actual
    if [[ $2 != "$3" ]]; then
        echo "FAIL $1: expected '$2', got '$3'"
        failures=$((failures + 1))
    fi
}

expect "options" "--to --targets" "$(complete_line 1 pivana --t)"
expect "formats of the files on the line" "heic avif exr tiff gif bmp psd webp pdf" \
    "$(complete_line 2 pivana --to '' a.jpg 'b.PNG')"
# Back on the blank between --to and the files: bash then names the first file the current word.
COMP_WORDS=(pivana --to a.mp3 b.wav) COMP_CWORD=2 COMP_LINE="pivana --to  a.mp3 b.wav" COMP_POINT=12
_pivana
expect "format put in front of the files" "m4a aiff aac flac opus" "${COMPREPLY[*]}"
expect "files quoted and escaped" "mov m4v m4a mp3" "$(complete_line 2 pivana --convert m "'my clip.mp4'" 'other\ clip.avi')"
expect "a prefix of the format, typed in capitals" "tiff" "$(complete_line 2 pivana --to T x.png)"

every=$(complete_line 2 pivana --to '')
for format in jpg png heic avif exr tiff gif bmp psd webp mp4 mov m4v webm m4a wav aiff aac flac mp3 opus pdf docx odt html rtf txt md; do
    [[ " $every " == *" $format "* ]] || expect "every format offered without files" "$format" "missing"
done
for source_only in ogg avi mkv pptx key dng; do
    [[ " $every " != *" $source_only "* ]] || expect "no source-only format" "" "$source_only"
done
expect "every format when the files have nothing in common" "$every" \
    "$(complete_line 2 pivana --to '' a.gif b.png)"
expect "files after the format are left to readline" "" "$(complete_line 3 pivana --to png a)"

if ((failures)); then
    echo "$failures failed"
    exit 1
fi
echo "completion: all passed"
