#!/usr/bin/env python3
"""The program's catalogues against its code.

    check_catalogue.py LUPDATE SOURCE_DIR

1. lupdate reads src/ into a scratch catalogue: every text it finds must be
   in translations/quillmeter_en.ts and quillmeter_ja.ts, finished, the
   Japanese one the text itself, the English one free of Japanese and with
   the same %1 %2 ... as the text.
2. Every string literal in src/ with Japanese characters is a text lupdate
   found (inside tr(), translate(), QT_TRANSLATE_NOOP ...) or one of the
   data texts below (file contents, font names, names of languages).
3. Every text key the web page uses is one the program sends.
Exits 1 with a line per problem.
"""
import os, re, subprocess, sys, tempfile
import xml.etree.ElementTree as ET

JAPANESE = re.compile(r'[\u3000-\u9fff\uff00-\uffef]')
PLACE = re.compile(r'%\d')

# Japanese literals that are data, not texts for the user: the resume
# file's keys, font family names, samples of Qt's own texts measured for a
# width, and each language's name in itself.
DATA_TEXTS = {
    'src/engine/settings/ResumeSettings.cpp': {
        'IPアドレス,', 'USBチェック,', 'Comアドレス,', '回数,', 'インターバル,', 'フォルダ,', 'ファイルヘッダ,',
        'csv波形格納チェック,', 'DS画面表示チェック,', 'DS画面格納チェック,', 'INVコマンドチェック,', 'Mnual継続チェック,'},
    'src/view/JapaneseFont.cpp': {'メイリオ', 'ＭＳ Ｐゴシック'},
    'src/view/LogGrid.cpp': {'ＭＳ Ｐゴシック'},
    'src/view/FolderDialog.cpp': {'CSV ファイル', 'コンピューター'},
    'src/view/MainForm.cpp': {'日本語'},
}

# String literals and comments of C++ (comments are skipped).
TOKEN = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:[^"\\\n]|\\.)*"|\'(?:[^\'\\\n]|\\.)*\'', re.S)


def unescape(lit):
    return bytes(lit, 'utf-8').decode('unicode_escape').encode('latin-1').decode('utf-8')


def messages(path):
    """{(context, source, comment): (translation, type)}"""
    out = {}
    for ctx in ET.parse(path).getroot().iter('context'):
        name = ctx.find('name').text
        for m in ctx.iter('message'):
            c = m.find('comment')
            t = m.find('translation')
            out[(name, m.find('source').text or '', c.text if c is not None else '')] = (t.text or '', t.get('type', ''))
    return out


def main():
    lupdate, root = sys.argv[1], sys.argv[2]
    problems = []
    with tempfile.TemporaryDirectory() as tmp:
        scratch = os.path.join(tmp, 'scratch.ts')
        r = subprocess.run([lupdate, '-locations', 'none', '-no-obsolete', '-silent', os.path.join(root, 'src'),
                            '-ts', scratch], capture_output=True, text=True)
        if r.returncode != 0 or not os.path.exists(scratch):
            print('lupdate failed:', r.stdout, r.stderr)
            return 1
        for line in (r.stdout + r.stderr).splitlines():
            if 'warning' in line.lower() or 'error' in line.lower():
                problems.append('lupdate: ' + line.strip())
        found = messages(scratch)
    for lang in ('ja', 'en'):
        ts = os.path.join(root, 'translations', 'quillmeter_%s.ts' % lang)
        have = messages(ts)
        for key in sorted(found):
            where = '%s: [%s] %r' % (os.path.basename(ts), key[0], key[1])
            if key not in have:
                problems.append(where + ' is not in the catalogue (run lupdate)')
                continue
            text, kind = have[key]
            if kind or not text:
                problems.append(where + ' has no finished translation')
            elif lang == 'ja' and text != key[1]:
                problems.append(where + ': the Japanese catalogue changes the text to %r' % text)
            elif lang == 'en' and JAPANESE.search(text):
                problems.append(where + ': the English text is Japanese: %r' % text)
            elif sorted(set(PLACE.findall(text))) != sorted(set(PLACE.findall(key[1]))):
                problems.append(where + ': the translation %r does not have the same %%1 %%2 ...' % text)
        for key in sorted(set(have) - set(found)):
            problems.append('%s: [%s] %r is no longer in the code (run lupdate -no-obsolete)' % (os.path.basename(ts), key[0], key[1]))

    sources = {key[1] for key in found}
    for dirpath, _, files in os.walk(os.path.join(root, 'src')):
        for f in sorted(files):
            if not f.endswith(('.cpp', '.h')):
                continue
            path = os.path.join(dirpath, f)
            rel = os.path.relpath(path, root).replace(os.sep, '/')
            code = open(path, encoding='utf-8').read()
            for m in TOKEN.finditer(code):
                tok = m.group(0)
                if not tok.startswith('"') or not JAPANESE.search(tok):
                    continue
                text = unescape(tok[1:-1])
                # Adjacent literals make one text: a piece of a text counts.
                if any(text in s for s in sources) or text in DATA_TEXTS.get(rel, ()):
                    continue
                line = code.count('\n', 0, m.start()) + 1
                problems.append('%s:%d: %s is not translated (tr(), QCoreApplication::translate) '
                                'and not a data text of this check' % (rel, line, tok))

    page = open(os.path.join(root, 'src/engine/web/page/index.html'), encoding='utf-8').read()
    texts = open(os.path.join(root, 'src/engine/web/WebTexts.cpp'), encoding='utf-8').read()
    sent = set(re.findall(r'\{"(\w+)", QT_TRANSLATE_NOOP', texts))
    for key in sorted(set(re.findall(r'data-t="(\w+)"', page)) | set(re.findall(r'\bT\.(\w+)', page))):
        if key not in sent:
            problems.append('index.html: the text %r is not among the page texts of WebTexts.cpp' % key)

    for p in problems:
        print(p)
    print('%d texts, %d problems' % (len(found), len(problems)))
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
