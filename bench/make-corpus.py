#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes a deterministic corpus of .eml files (CR LF line ends) for the decoder benchmark.

usage: make-corpus.py OUTDIR [COUNT] [--seed N]
"""
import argparse
import base64
import email.utils
import os
import quopri
import random

FIRST = ["Anna", "Bernd", "Carla", "David", "Eva", "Frank", "Greta", "Hugo", "Ines", "Jonas",
         "Karin", "Lukas", "Marta", "Nils", "Olga", "Paul", "Rita", "Sven", "Tina", "Uwe"]
LAST = ["Weber", "Schmidt", "Novak", "Moreau", "Rossi", "Jansen", "Lindqvist", "Kowalski",
        "Fischer", "Dubois", "Costa", "Berg", "Horvath", "Nielsen", "Ortega"]
DOMAINS = ["example.com", "example.org", "example.net", "mail.example.com", "corp.example.org"]
HOSTS = ["mx1", "mx2", "smtp", "relay", "mail", "gw"]

WORDS = ("the meeting report budget quarter review project update schedule team client "
         "invoice delivery order shipment please find attached regards thanks tomorrow "
         "morning afternoon server backup release version draft contract agreement office "
         "travel plan figures numbers sales market price offer proposal question answer "
         "issue ticket support customer account payment week month year deadline").split()

LATIN1_WORDS = ("Grüße Straße Café naïve Müller Größe Übersicht Änderung Öffnungszeiten "
                "façade déjà señor año Bücher Mädchen Frühstück Gebühr Lösung ça élève "
                "très bientôt réunion équipe Zürich København Åland smørrebrød").split()

# Hand-written sample sentences; only characters inside GB2312 are used.
ZH_SENTENCES = [
    "您好，关于下周的会议安排，请查看附件中的日程表。",
    "我们已经收到您的订单，货物将在三个工作日内发出。",
    "本月的销售报告已经完成，请各位同事在周五之前提出意见。",
    "如果您有任何问题，请随时与我们的客户服务中心联系。",
    "明天上午十点在第二会议室举行项目进度讨论会。",
    "感谢您长期以来对本公司的支持与信任。",
    "请注意，系统将于本周六晚上进行维护，届时服务暂停。",
    "新产品的价格表已经更新，详细内容请参考网站说明。",
    "年度预算需要在月底之前提交给财务部门审核。",
    "祝您工作顺利，身体健康，万事如意。",
]
ZH_SUBJECTS = ["会议通知", "订单确认", "月度销售报告", "系统维护公告", "新产品价格表",
               "年度预算审核", "客户服务通知", "项目进度讨论"]

UTF8_SUBJECTS = ["Résumé of the Q3 review — final", "Встреча в понедельник",
                 "Καλημέρα από την ομάδα", "会议纪要 / minutes", "Ünïcödé ✓ status report",
                 "東京オフィスからのお知らせ", "Zażółć gęślą jaźń"]
UTF8_LINES = ["Привет! Отчёт за квартал во вложении.", "Γεια σας, η συνάντηση μεταφέρθηκε.",
              "日本語のテキストも含まれています。", "Ceny wzrosły o 5 % — proszę o decyzję.",
              "Emoji are common now 😀 👍 ✉️", "Ελληνικά, русский, 中文 mixed in one line."]


def words(rng, n):
    return " ".join(rng.choice(WORDS) for _ in range(n))


def paragraph(rng, lines=None, width=72):
    lines = lines or rng.randint(3, 12)
    out = []
    for _ in range(lines):
        line = words(rng, rng.randint(6, 14)).capitalize() + "."
        out.append(line[:width])
    return out


def plain_text(rng, paragraphs=None):
    paras = paragraphs or rng.randint(1, 6)
    out = ["Hello,", ""]
    for _ in range(paras):
        out += paragraph(rng) + [""]
    if rng.random() < 0.3:
        out += ["________________________________", "Sent from the office mail system"]
    else:
        out += ["Best regards,", rng.choice(FIRST)]
    return out


def person(rng):
    first, last = rng.choice(FIRST), rng.choice(LAST)
    addr = f"{first.lower()}.{last.lower()}@{rng.choice(DOMAINS)}"
    return f"{first} {last}", addr


def boundary(rng):
    return "----=_Part_%d_%d.%d" % (rng.randint(1000, 99999), rng.randint(10**8, 10**9), rng.randint(1, 999))


def encoded_word(text, charset, enc):
    raw = text.encode(charset)
    if enc == "B":
        return f"=?{charset}?B?{base64.b64encode(raw).decode()}?="
    q = "".join(chr(b) if (48 <= b <= 57 or 65 <= b <= 90 or 97 <= b <= 122) else "=%02X" % b
                for b in raw)
    return f"=?{charset}?Q?{q}?="


def qp(data):
    return quopri.encodestring(data).replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def b64(data):
    s = base64.b64encode(data)
    return b"\r\n".join(s[i:i + 76] for i in range(0, len(s), 76))


def crlf(lines):
    return "\r\n".join(lines).encode("ascii")


def headers(rng, idx, subject, from_name=None, extra=()):
    name, addr = person(rng)
    if from_name is not None:
        name = from_name
    to_name, to_addr = person(rng)
    when = 1_600_000_000 + idx * 3607 + rng.randint(0, 3600)
    host = f"{rng.choice(HOSTS)}.{rng.choice(DOMAINS)}"
    h = [
        f"Return-Path: <{addr}>",
        f"Received: from {host} ({host} [192.0.2.{rng.randint(1, 254)}])",
        f"\tby mail.example.net with ESMTPS id {rng.randint(10**9, 10**10)}",
        f"\tfor <{to_addr}>; {email.utils.formatdate(when)}",
        f"Received: from localhost by {host} with SMTP; {email.utils.formatdate(when - 5)}",
        f"Date: {email.utils.formatdate(when)}",
        f"Message-ID: <{rng.randint(10**11, 10**12)}.{idx}@{rng.choice(DOMAINS)}>",
        f"From: {name} <{addr}>",
        f"To: {to_name} <{to_addr}>",
    ]
    if rng.random() < 0.3:
        cc_name, cc_addr = person(rng)
        h.append(f"Cc: {cc_name} <{cc_addr}>")
    h.append(f"Subject: {subject}")
    h.append("MIME-Version: 1.0")
    h.extend(extra)
    return h


def msg_plain_ascii(rng, idx):
    h = headers(rng, idx, words(rng, rng.randint(2, 7)).capitalize(), extra=[
        "Content-Type: text/plain; charset=us-ascii", "Content-Transfer-Encoding: 7bit"])
    return crlf(h) + b"\r\n\r\n" + crlf(plain_text(rng)) + b"\r\n"


def latin1_body(rng):
    out = []
    for line in plain_text(rng):
        if line and rng.random() < 0.5:
            line += " " + " ".join(rng.choice(LATIN1_WORDS) for _ in range(rng.randint(1, 4)))
        out.append(line)
    return "\r\n".join(out).encode("latin-1")


def msg_latin1_8bit(rng, idx):
    h = headers(rng, idx, "Re: " + " ".join(rng.choice(LATIN1_WORDS) for _ in range(3)), extra=[
        "Content-Type: text/plain; charset=iso-8859-1", "Content-Transfer-Encoding: 8bit"])
    # an 8-bit Subject as some old clients send it
    return "\r\n".join(h).encode("latin-1") + b"\r\n\r\n" + latin1_body(rng) + b"\r\n"


def html_of(lines):
    body = "".join(f"<p>{l}</p>\n" if l else "<br>\n" for l in lines)
    return ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><style>p{margin:0}"
            "</style></head>\n<body><div class=\"mail\">\n" + body +
            "<table><tr><td>&copy; Example&nbsp;Ltd</td></tr></table>\n</div></body></html>\n")


def msg_html(rng, idx):
    lines = plain_text(rng)
    h = headers(rng, idx, words(rng, 4).capitalize(), extra=[
        "Content-Type: text/html; charset=utf-8", "Content-Transfer-Encoding: quoted-printable"])
    return crlf(h) + b"\r\n\r\n" + qp(html_of(lines).encode("utf-8")) + b"\r\n"


def msg_alternative(rng, idx):
    lines = plain_text(rng)
    if rng.random() < 0.4:
        lines = [l + " " + rng.choice(LATIN1_WORDS) if l else l for l in lines]
    b = boundary(rng)
    h = headers(rng, idx, words(rng, 5).capitalize(), extra=[
        f"Content-Type: multipart/alternative; boundary=\"{b}\""])
    parts = [
        b"This is a multi-part message in MIME format.\r\n",
        f"--{b}\r\nContent-Type: text/plain; charset=iso-8859-1\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n\r\n".encode(),
        qp("\r\n".join(lines).encode("latin-1")), b"\r\n",
        f"--{b}\r\nContent-Type: text/html; charset=iso-8859-1\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n\r\n".encode(),
        qp(html_of(lines).encode("latin-1")), b"\r\n",
        f"--{b}--\r\n".encode(),
    ]
    return crlf(h) + b"\r\n\r\n" + b"".join(parts)


def attachment_bytes(rng, size):
    # compressible-looking but not constant
    return bytes(rng.getrandbits(8) if i % 7 == 0 else (i * 31) & 0xFF for i in range(size))


def msg_mixed(rng, idx):
    b_outer, b_inner = boundary(rng), boundary(rng)
    lines = plain_text(rng)
    size = int(rng.choice([2, 5, 12, 30, 60, 120, 200]) * 1024 * rng.uniform(0.8, 1.0))
    name = rng.choice(["report.pdf", "photo.jpg", "figures.xlsx", "scan.png", "archive.zip"])
    ctype = {"pdf": "application/pdf", "jpg": "image/jpeg", "png": "image/png",
             "zip": "application/zip"}.get(name.rsplit(".", 1)[1],
                                            "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet")
    h = headers(rng, idx, "Fwd: " + words(rng, 4), extra=[
        f"Content-Type: multipart/mixed; boundary=\"{b_outer}\""])
    text_part = [f"--{b_outer}\r\n".encode()]
    if rng.random() < 0.5:
        text_part += [
            f"Content-Type: multipart/alternative; boundary=\"{b_inner}\"\r\n\r\n".encode(),
            f"--{b_inner}\r\nContent-Type: text/plain; charset=utf-8\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n\r\n".encode(),
            qp("\r\n".join(lines).encode()), b"\r\n",
            f"--{b_inner}\r\nContent-Type: text/html; charset=utf-8\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n\r\n".encode(),
            qp(html_of(lines).encode()), b"\r\n", f"--{b_inner}--\r\n".encode()]
    else:
        text_part += [b"Content-Type: text/plain; charset=us-ascii\r\n"
                      b"Content-Transfer-Encoding: 7bit\r\n\r\n", crlf(lines), b"\r\n"]
    att = [
        f"--{b_outer}\r\nContent-Type: {ctype}; name=\"{name}\"\r\n"
        f"Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; "
        f"filename=\"{name}\"\r\n\r\n".encode(),
        b64(attachment_bytes(rng, size)), b"\r\n", f"--{b_outer}--\r\n".encode()]
    return crlf(h) + b"\r\n\r\n" + b"".join(text_part + att)


def zh_text(rng, charset):
    lines = [rng.choice(ZH_SENTENCES) for _ in range(rng.randint(4, 20))]
    text = "\r\n".join(lines) + "\r\n"
    if charset == "big5":
        text = text.translate(SIMPLIFIED_TO_TRADITIONAL)
    return text.encode(charset)


# Enough simplified -> traditional pairs that the Big5 text reads as traditional Chinese.
SIMPLIFIED_TO_TRADITIONAL = str.maketrans({
    "关": "關", "于": "於", "周": "週", "会": "會", "议": "議", "排": "排", "请": "請",
    "查": "查", "看": "看", "附": "附", "件": "件", "的": "的", "日": "日", "程": "程",
    "们": "們", "经": "經", "订": "訂", "单": "單", "货": "貨", "发": "發", "内": "內",
    "销": "銷", "报": "報", "告": "告", "成": "成", "各": "各", "位": "位", "事": "事",
    "见": "見", "问": "問", "题": "題", "随": "隨", "时": "時", "与": "與", "户": "戶",
    "务": "務", "联": "聯", "系": "系", "举": "舉", "项": "項", "进": "進", "讨": "討",
    "论": "論", "谢": "謝", "长": "長", "来": "來", "对": "對", "公": "公", "司": "司",
    "持": "持", "信": "信", "统": "統", "维": "維", "护": "護", "届": "屆", "暂": "暫",
    "产": "產", "价": "價", "格": "格", "表": "表", "详": "詳", "细": "細", "容": "容",
    "参": "參", "网": "網", "站": "站", "说": "說", "明": "明", "预": "預", "算": "算",
    "需": "需", "财": "財", "门": "門", "审": "審", "核": "核", "祝": "祝", "顺": "順",
    "利": "利", "体": "體", "康": "康", "万": "萬", "如": "如", "意": "意", "这": "這",
    "为": "為", "将": "將", "开": "開", "电": "電", "话": "話", "纪": "紀",
    "确": "確", "认": "認", "知": "知", "度": "度", "间": "間", "写": "寫", "号": "號",
    "个": "個", "点": "點", "给": "給", "华": "華", "陈": "陳", "静": "靜", "张": "張",
    "伟": "偉", "刘": "劉",
})


def msg_chinese(rng, idx):
    charset = rng.choice(["big5", "gb2312"])
    enc = rng.choice(["base64", "quoted-printable"])
    subj = rng.choice(ZH_SUBJECTS)
    if charset == "big5":
        subj = subj.translate(SIMPLIFIED_TO_TRADITIONAL)
    subject = encoded_word(subj, charset, "B" if charset == "big5" else "Q")
    name = rng.choice(["王小明", "李华", "陈静", "张伟", "刘洋"])
    if charset == "big5":
        name = name.translate(SIMPLIFIED_TO_TRADITIONAL)
    from_name = encoded_word(name, charset, "B")
    body = zh_text(rng, charset)
    payload = b64(body) if enc == "base64" else qp(body)
    if rng.random() < 0.5:
        h = headers(rng, idx, subject, from_name, extra=[
            f"Content-Type: text/plain; charset=\"{charset}\"",
            f"Content-Transfer-Encoding: {enc}"])
        return crlf(h) + b"\r\n\r\n" + payload + b"\r\n"
    b = boundary(rng)
    h = headers(rng, idx, subject, from_name, extra=[
        f"Content-Type: multipart/alternative; boundary=\"{b}\""])
    html = html_of(body.decode(charset).split("\r\n")).replace('charset="utf-8"', f'charset="{charset}"')
    hpay = html.encode(charset)
    parts = [
        f"--{b}\r\nContent-Type: text/plain; charset=\"{charset}\"\r\n"
        f"Content-Transfer-Encoding: {enc}\r\n\r\n".encode(), payload, b"\r\n",
        f"--{b}\r\nContent-Type: text/html; charset=\"{charset}\"\r\n"
        f"Content-Transfer-Encoding: base64\r\n\r\n".encode(), b64(hpay), b"\r\n",
        f"--{b}--\r\n".encode()]
    return crlf(h) + b"\r\n\r\n" + b"".join(parts)


def msg_utf8(rng, idx):
    subj = rng.choice(UTF8_SUBJECTS)
    subject = encoded_word(subj, "utf-8", rng.choice("BQ"))
    lines = []
    for line in plain_text(rng):
        lines.append(line)
        if line and rng.random() < 0.4:
            lines.append(rng.choice(UTF8_LINES))
    enc = rng.choice(["8bit", "quoted-printable", "base64"])
    raw = "\r\n".join(lines).encode("utf-8")
    payload = raw if enc == "8bit" else qp(raw) if enc == "quoted-printable" else b64(raw)
    h = headers(rng, idx, subject, extra=[
        "Content-Type: text/plain; charset=utf-8", f"Content-Transfer-Encoding: {enc}"])
    return crlf(h) + b"\r\n\r\n" + payload + b"\r\n"


def msg_large(rng, idx):
    target = rng.randint(1024 * 1024, 2 * 1024 * 1024)
    out, size = [], 0
    while size < target:
        for line in paragraph(rng, 20) + [""]:
            out.append(line)
            size += len(line) + 2
    h = headers(rng, idx, "Log export " + words(rng, 2), extra=[
        "Content-Type: text/plain; charset=us-ascii", "Content-Transfer-Encoding: 7bit"])
    return crlf(h) + b"\r\n\r\n" + crlf(out) + b"\r\n"


MIX = [  # (weight, maker)
    (30, msg_plain_ascii),
    (10, msg_latin1_8bit),
    (10, msg_html),
    (18, msg_alternative),
    (8, msg_mixed),
    (12, msg_chinese),
    (12, msg_utf8),
]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("outdir")
    ap.add_argument("count", nargs="?", type=int, default=2000)
    ap.add_argument("--seed", type=int, default=20240611)
    args = ap.parse_args()

    rng = random.Random(args.seed)
    os.makedirs(args.outdir, exist_ok=True)
    large_every = 400  # a handful of 1-2 MB mails
    makers = [m for w, m in MIX for _ in range(w)]
    total = 0
    for i in range(args.count):
        maker = msg_large if i % large_every == large_every - 1 else rng.choice(makers)
        data = maker(rng, i)
        with open(os.path.join(args.outdir, f"{i:05d}-{maker.__name__[4:]}.eml"), "wb") as f:
            f.write(data)
        total += len(data)
    print(f"{args.count} messages, {total / 1e6:.1f} MB in {args.outdir}")


if __name__ == "__main__":
    main()
