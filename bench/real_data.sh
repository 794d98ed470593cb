#!/usr/bin/env bash
# real_data.sh DIR: real dictionaries and texts from Debian packages for the
# peer comparison, in the forms the programs read (as velmora_gen writes them):
#   ja.dict.u16 / ja.dict.tsv  the IPA dictionary's words (mecab-ipadic) with
#                              their readings, about 320,000 pairs
#   ja.text.u16 / ja.text.txt  the Japanese manual pages (manpages-ja,
#                              manpages-ja-dev) with the formatting requests
#                              taken out
#   en.dict.u16 / en.dict.tsv  the American English word list (wamerican),
#                              each word to its upper case
#   en.text.u16 / en.text.txt  the Linux kernel's English documentation
#                              (linux-doc-6.1, without its translations)
#   kana.*                     kana to kanji: each reading of the IPA
#                              dictionary to its first word, over the same
#                              Japanese text
#   man.*                      every other word of the word list to its
#                              capitalised form, over 20 MB of the English
#                              manual pages
# *.u16 are UTF-16LE (dictionaries behind FF FE, "before TAB after LF" lines),
# *.tsv and *.txt the same in UTF-8. A before-string is kept once, with its
# first after-string, so that every program sees the same pairs.
set -euo pipefail

DIR=${1:?usage: real_data.sh DIR}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=../scripts/packages.sh
. "$ROOT/scripts/packages.sh"
velmora_install_packages "${VELMORA_BENCH_DATA_PACKAGES[@]}"
mkdir -p "$DIR"
cd "$DIR"

# write NAME: NAME.dict.tsv and NAME.text.txt (UTF-8) into their UTF-16 forms.
write() {
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$1.dict.tsv"; } >"$1.dict.u16"
    iconv -f UTF-8 -t UTF-16LE "$1.text.txt" >"$1.text.u16"
}

# Surface form (field 1) to reading (field 12); quoted surfaces hold commas.
cat /usr/share/mecab/dic/ipadic/*.csv | iconv -f EUC-JP -t UTF-8 \
    | LC_ALL=C awk -F, '$1 !~ /"/ && $12 != "" && $12 != "*" && !seen[$1]++ { print $1 "\t" $12 }' >ja.dict.tsv
# Roff requests and font escapes out, the prose stays.
find /usr/share/man/ja -name '*.gz' -print0 | sort -z | xargs -0 zcat \
    | iconv -f UTF-8 -t UTF-8 -c \
    | LC_ALL=C sed -e '/^[.'"'"']/d' -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' -e 's/\\(em/--/g' -e 's/\\&//g' >ja.text.txt
write ja

cat /usr/share/mecab/dic/ipadic/*.csv | iconv -f EUC-JP -t UTF-8 \
    | LC_ALL=C awk -F, '$1 !~ /"/ && $12 != "" && $12 != "*" && !seen[$12]++ { print $12 "\t" $1 }' >kana.dict.tsv
cp ja.text.txt kana.text.txt
write kana

LC_ALL=C awk '!seen[$0]++ { print $0 "\t" toupper($0) }' /usr/share/dict/american-english >en.dict.tsv
find /usr/share/doc/linux-doc-6.1/Documentation -name '*.rst.gz' -not -path '*/translations/*' -print0 \
    | sort -z | xargs -0 zcat | iconv -f UTF-8 -t UTF-8 -c >en.text.txt
write en

LC_ALL=C awk '!seen[$0]++ && NR % 2 == 0 { print $0 "\t" toupper(substr($0, 1, 1)) substr($0, 2) }' \
    /usr/share/dict/american-english >man.dict.tsv
# head ends the pipe early: the pages behind it are cut off, not an error.
(set +o pipefail; find /usr/share/man/man[1-8] -name '*.gz' -print0 | sort -z | xargs -0 zcat 2>/dev/null \
    | LC_ALL=C sed -e '/^[.'"'"']/d' -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' -e 's/\\(em/--/g' -e 's/\\&//g' \
    | head -c 20000000 | iconv -f UTF-8 -t UTF-8 -c >man.text.txt)
write man

for f in ja kana en man; do
    echo "$f: $(wc -l <$f.dict.tsv) pairs, $(($(stat -c %s $f.text.u16) / 2)) units of text"
done
