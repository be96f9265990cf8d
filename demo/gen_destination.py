#!/usr/bin/env python3
"""Generates the records of the destination demo server as tab-separated
Windows-1250 files that `qorserver load` reads: customers, their addresses and
contacts, with the telephone numbers of contact type 6 in every shape that the
repair program meets (the shape the import writes, older shapes, valid ones,
unknown ones), and contacts of other types and owners beside them.

    gen_destination.py OUTDIR [--customers N] [--seed S]

Prints the next free ids (for the sequences) as NAME=VALUE lines.
"""
import random

from demo_records import arguments, row, tsv_writer

SURNAMES = """Nagy Kovács Tóth Szabó Horváth Varga Kiss Molnár Németh Farkas Balogh Papp Takács
Juhász Lakatos Mészáros Oláh Simon Rácz Fekete Szilágyi Török Fehér Balázs Gál Kis Szűcs Kocsis
Pintér Fodor Szalai Sipos Magyar Lukács Gulyás Biró Király Katona László Jakab Bogdán Sándor Boros
Fazekas Kelemen Antal Orosz Somogyi Fülöp Veres Budai Vincze Hegedűs Deák Bálint Illés Pál Vass
Szőke Fábián Vörös Lengyel Bognár Bodnár Jónás Hajdu Halász Máté Székely Gáspár Kozma Pásztor
Bakos Dudás Major Virág Orbán Hegyi Barna Novák Soós Tamás Nemes Pataki Balla Faragó Kerekes
Borbély Barta Szekeres Csonka Mezei Márton Erdős Győri Köves Tőkés Szűts Ördög""".split()
MALE = """László István József János Zoltán Sándor Gábor Ferenc Attila Péter Tamás Zsolt Tibor
András Csaba Imre Lajos György Balázs Róbert Mihály Béla Károly Dávid Ádám Dániel Norbert Gergő
Levente Bence Máté Ödön Győző Előd""".split()
FEMALE = """Mária Erzsébet Katalin Ilona Éva Anna Zsuzsanna Margit Judit Ágnes Andrea Erika
Krisztina Ildikó Julianna Irén Eszter Tímea Anikó Szilvia Gabriella Réka Boglárka Dóra Petra Nóra
Enikő Csilla Tünde Hajnalka Orsolya Emőke""".split()
COMPANY_FORMS = ["Kft.", "Bt.", "Zrt.", "Kkt."]
COMPANY_WORDS = """Alfa Autó Béta Trans Duna Tisza Mátra Bakony Pannon Hungária Kárpát Napfény
Szivárvány Gyors Precíz Főnix Délibáb Kőrös Rába Zala Somogy Hegyalja Balaton Vértes""".split()
CITIES = [
    ("Budapest", ["1011", "1027", "1054", "1065", "1073", "1082", "1095", "1103", "1117", "1122",
                  "1134", "1145", "1151", "1165", "1174", "1183", "1191", "1205", "1213", "1221",
                  "1238"], "1"),
    ("Debrecen", ["4024", "4025", "4031", "4032"], "52"),
    ("Szeged", ["6720", "6721", "6723", "6724"], "62"),
    ("Miskolc", ["3525", "3527", "3530"], "46"),
    ("Pécs", ["7621", "7622", "7624", "7630"], "72"),
    ("Győr", ["9021", "9022", "9024", "9028"], "96"),
    ("Nyíregyháza", ["4400", "4401"], "42"),
    ("Kecskemét", ["6000", "6001"], "76"),
    ("Székesfehérvár", ["8000", "8001"], "22"),
    ("Szombathely", ["9700", "9701"], "94"),
    ("Szolnok", ["5000", "5001"], "56"),
    ("Tatabánya", ["2800"], "34"),
    ("Kaposvár", ["7400"], "82"),
    ("Érd", ["2030"], "23"),
    ("Veszprém", ["8200"], "88"),
    ("Békéscsaba", ["5600"], "66"),
    ("Zalaegerszeg", ["8900"], "92"),
    ("Sopron", ["9400"], "99"),
    ("Eger", ["3300"], "36"),
    ("Hódmezővásárhely", ["6800"], "62"),
    ("Gödöllő", ["2100"], "28"),
    ("Mosonmagyaróvár", ["9200"], "96"),
]
STREETS = """Petőfi Sándor utca|Kossuth Lajos utca|Fő utca|Rákóczi út|Dózsa György út|Széchenyi tér|
Ady Endre utca|Arany János utca|Jókai Mór utca|Bajcsy-Zsilinszky út|Kölcsey Ferenc utca|
Deák Ferenc tér|Béke utca|Vasút utca|Hunyadi János utca|Táncsics Mihály utca|Baross Gábor utca|
Munkácsy Mihály utca|Szent István körút|Bem József utca|Liszt Ferenc utca|Széchenyi István út|
Kőrösi Csoma Sándor út|Szőlő utca|Tűzoltó utca|Öreg hegy dűlő|Árpád fejedelem útja""".replace("\n", "").split("|")
MOBILE = ["20", "30", "70", "31", "50"]
# ELMT_ID: the medium of a contact type; 1 is a telephone number, the only
# kind the import writes.
ELERTIP = [(1, "Vezetékes telefon", 1), (2, "Fax", 1), (3, "E-mail", 2), (4, "Weboldal", 3),
           (5, "Munkahelyi telefon", 1), (6, "SMS telefonszám", 1)]
CIMTIP = [(1, "Lakcím"), (2, "Levelezési cím"), (3, "Telephely")]
MAILS = ["freemail.hu", "gmail.com", "citromail.hu", "t-online.hu", "vipmail.hu"]
ASCII = str.maketrans("áéíóöőúüűÁÉÍÓÖŐÚÜŰ", "aeiooouuuAEIOOOUUU")


def subscriber(rng, digits):
    return "".join(rng.choice("0123456789") for _ in range(digits)).replace("0", str(rng.randint(1, 9)), 1)


def house_number(rng):
    """Plain, with a building letter, or with floor and door, as the address forms hold them."""
    house = f"{rng.randint(1, 180)}."
    if rng.random() < 0.15:
        house = f"{rng.randint(1, 80)}/{rng.choice('ABC')}"
    elif rng.random() < 0.2:
        house += f" {rng.randint(1, 10)}. em. {rng.randint(1, 40)}."
    return house


def hyphenated(number):
    """The import's shape: hyphens before the last four and the last two digits."""
    return number[:-4] + "-" + number[-4:-2] + "-" + number[-2:]


def sms_number(rng):
    """One type-6 value in realistic proportions; each shape is labelled with its kind."""
    area = rng.choice(MOBILE)
    num = subscriber(rng, 7)
    ext = rng.choice(["", "", "", "", "12", "1234"])
    shapes = [
        (30, "import", lambda: f"(36){area}/{hyphenated(num)}:{ext}"),
        (6, "import-bp", lambda: f"(36)1/{hyphenated(num)}:"),
        (12, "valid", lambda: f"(+36){area}/{hyphenated(num)}:{ext}"),
        (4, "valid-bp", lambda: f"(+36)1/{hyphenated(num)}:"),
        (10, "old", lambda: f"06{area}/{num}"),
        (6, "old", lambda: f"06-{area}/{num}"),
        (6, "old", lambda: f"06 {area} {num[:3]} {num[3:]}"),
        (6, "old", lambda: f"+36{area}{num}"),
        (3, "old", lambda: f"0036{area}{num}"),
        (4, "old", lambda: f"06{area}/{num[:3]}-{num[3:]}"),
        (3, "old", lambda: f"061/{num}"),
        (3, "blanks", lambda: f"(36) {area}/ {hyphenated(num)}:"),
        (2, "blanks", lambda: f" (+36){area}/{hyphenated(num)}: "),
        (2, "unknown", lambda: f"{area}/{num}"),
        (1, "unknown", lambda: f"{num[:3]}-{num[3:]}"),
        (1, "unknown", lambda: f"06{area}/{num[:6]}"),
        (1, "unknown", lambda: rng.choice(["nincs", "n.a.", "-", "kérésre törölve", "06 20 ???", ""])),
        (1, "unknown", lambda: f"+43 {rng.randint(600, 699)} {subscriber(rng, 6)}"),
    ]
    total = sum(w for w, _, _ in shapes)
    pick = rng.uniform(0, total)
    for weight, _kind, make in shapes:
        pick -= weight
        if pick <= 0:
            return make()[:40]
    return shapes[0][2]()[:40]


def main():
    args = arguments(__doc__, customers=2500, seed=20261210)
    rng = random.Random(args.seed)
    writer = tsv_writer(args.outdir)

    with writer("ELERTIP", ["ELET_ID", "ELET_TIPUS", "ELMT_ID"]) as f:
        for r in ELERTIP:
            row(f, *r)
    with writer("CIMTIP", ["CIMT_ID", "CIMT_TIPUS"]) as f:
        for r in CIMTIP:
            row(f, *r)
    with writer("BASEDATA", ["BASEDATA_ID", "CLIENT_ID", "CLIENT_NAME", "DELETED",
                             "RECORD_CREATION_TIME"]) as f:
        row(f, 1, 4711, "Demo Autószerviz Kft.", "N", 20240105083000)
    with writer("UGYFEL_DATUM_TIP", ["UGYFEL_DATUM_TIP_ID", "TIPUS"]) as f:
        for r in [(2, "Kelvado6 ZK lejárati idő"), (3, "Kelvado6 garancia lejárati idő"),
                  (4, "Kelvado6 műszaki lejárati idő")]:
            row(f, *r)

    ugy = writer("UGYFEL", ["UGY_ID", "UGY_AZON", "UGY_NEV", "UGY_TOROLT", "VTK", "CREATOR", "CREATE",
                            "LASTMOD", "LASTMDT"])
    cim = writer("CIM", ["CIM_ID", "CIM_OWNER", "CIM_TABLECODE", "CIMT_ID", "CIM_IRSZAM", "CIM_TELEPULES",
                         "CIM_KOZTERULET", "CIM_HAZSZAM"])
    eler = writer("ELERHETOSEG", ["ELER_ID", "ELER_OWNER", "ELER_TABLECODE", "ELET_ID", "ELER_ADAT",
                                  "ELER_PREF", "ELER_MEGJEGY"])
    cim_id = eler_id = 0
    for ugy_id in range(1, args.customers + 1):
        if rng.random() < 0.08:
            words = rng.sample(COMPANY_WORDS, 2)
            name = f"{words[0]}-{words[1]} {rng.choice(COMPANY_FORMS)}"
            mail_user = words[0].lower().translate(ASCII)
        else:
            first = rng.choice(MALE if rng.random() < 0.5 else FEMALE)
            surname = rng.choice(SURNAMES)
            name = f"{surname} {first}"
            if rng.random() < 0.05:
                name = f"dr. {name}"
            mail_user = f"{surname}.{first}".lower().translate(ASCII)
        created = int(f"{rng.randint(2015, 2025)}{rng.randint(1, 12):02d}{rng.randint(1, 28):02d}"
                      f"{rng.randint(7, 17):02d}{rng.randint(0, 59):02d}00")
        row(ugy, ugy_id, f"U{ugy_id:06d}", name, 0, 4711, 1, created, 1, created)

        city, zips, landline_area = rng.choice(CITIES)
        n_addr = 0 if rng.random() < 0.06 else (1 if rng.random() < 0.8 else 2)
        for k in range(n_addr):
            cim_id += 1
            house = house_number(rng)
            row(cim, cim_id, ugy_id, 2, 1 if k == 0 else 2, rng.choice(zips), city, rng.choice(STREETS), house)

        # Contacts of type 6: most customers have one, some two, a few none.
        n_sms = rng.choices([0, 1, 2], weights=[8, 80, 12])[0]
        for _ in range(n_sms):
            eler_id += 1
            value = sms_number(rng)
            row(eler, eler_id, ugy_id, 2, 6, value, 1, "Kelvado6 importból." if rng.random() < 0.6 else "")
        # Contacts of other types.
        if rng.random() < 0.5:
            eler_id += 1
            row(eler, eler_id, ugy_id, 2, 1,
                f"(36){landline_area}/{hyphenated(subscriber(rng, 7 if landline_area == '1' else 6))}:", 0, "")
        if rng.random() < 0.35:
            eler_id += 1
            row(eler, eler_id, ugy_id, 2, 3, f"{mail_user}@{rng.choice(MAILS)}"[:40], 0, "")
        if rng.random() < 0.05:
            eler_id += 1
            row(eler, eler_id, ugy_id, 2, 2, f"06{landline_area}/{subscriber(rng, 6)}", 0, "")

    # Type-6 contacts that are not a customer's: a partner table's and some without owner.
    for i in range(max(10, args.customers // 50)):
        eler_id += 1
        value = sms_number(rng)
        row(eler, eler_id, rng.randint(1, 200), 3, 6, value, 0, "Partner")
        eler_id += 1
        value = sms_number(rng)
        row(eler, eler_id, 0, 0, 6, value, 0, "Gazdátlan")
    for f in (ugy, cim, eler):
        f.close()

    print(f"UGYFEL_UGYFEL_NEXTID={args.customers + 1}")
    print(f"ALAP_CIM_NEXTID={cim_id + 1}")
    print(f"ALAP_ELERHETOSEG_NEXTID={eler_id + 1}")
    print("SMS_UGYFEL_IMPORT=1")
    print("SMS_UGYFEL_DATUM=1")


if __name__ == "__main__":
    main()
