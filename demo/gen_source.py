#!/usr/bin/env python3
"""Generates the records of the source demo server (database KELVADO) as
tab-separated Windows-1250 files that `qorserver load` reads: customers with
their registration plates, green-card, warranty and inspection dates (day
numbers of the date library qorDate: day 1 is 1 January 1900), addresses and
telephone numbers in the shapes the source really holds (country, area,
subscriber and extension texts with blanks and separators around them),
deleted customers and plates among them, and links of other owner tables.

    gen_source.py OUTDIR [--customers N] [--seed S]
"""
import datetime
import random

from demo_records import arguments, row, tsv_writer
from gen_destination import (CITIES, COMPANY_FORMS, COMPANY_WORDS, FEMALE, MALE, MOBILE, STREETS,
                             SURNAMES, house_number, subscriber)

DAY_ZERO = datetime.date(1899, 12, 31)
PLATE_LETTERS = "ABCDEFGHIJKLMNOPRSTUVXYZ"
VIN_CHARS = "ABCDEFGHJKLMNPRSTUVWXYZ0123456789"
MAKERS = ["WVW", "VF1", "TMB", "WF0", "ZFA", "JMZ", "KNA", "SJN", "VSS", "W0L", "UU1", "TMA"]
CUSTOMER, PARTNER = 1, 2  # the TABLE of a link


def day_number(day):
    return (day - DAY_ZERO).days


def some_day(rng, first_year, last_year):
    start = datetime.date(first_year, 1, 1)
    span = (datetime.date(last_year, 12, 31) - start).days
    return day_number(start + datetime.timedelta(days=rng.randint(0, span)))


def name_of(rng):
    if rng.random() < 0.08:
        words = rng.sample(COMPANY_WORDS, 2)
        return f"{words[0]}-{words[1]} {rng.choice(COMPANY_FORMS)}"
    first = rng.choice(MALE if rng.random() < 0.5 else FEMALE)
    name = f"{rng.choice(SURNAMES)} {first}"
    return f"dr. {name}" if rng.random() < 0.04 else name


def plate(rng):
    if rng.random() < 0.1:  # the newer four-letter plates
        return "".join(rng.choice(PLATE_LETTERS) for _ in range(4)) + f"-{rng.randint(1, 999):03d}"
    return "".join(rng.choice(PLATE_LETTERS) for _ in range(3)) + f"-{rng.randint(1, 999):03d}"


def vin(rng):
    return rng.choice(MAKERS) + "".join(rng.choice(VIN_CHARS) for _ in range(14))


def telephone(rng, landline_area):
    """Country, area, subscriber number and extension as the operators typed them."""
    mobile = rng.random() < 0.6
    area = rng.choice(MOBILE) if mobile else landline_area
    digits = subscriber(rng, 7 if mobile or area == "1" else 6)
    country = rng.choices(["36", " 36", "+36", "36 ", "0036", "", "(36)"],
                          weights=[50, 6, 10, 4, 3, 25, 2])[0]
    area_text = rng.choices([area, f" {area}", f"{area} ", f"06{area}", f"06-{area}"],
                            weights=[70, 8, 6, 10, 6])[0]
    if len(digits) == 7:
        shapes = [digits, f"{digits[:3]}-{digits[3:]}", f"{digits[:3]} {digits[3:5]} {digits[5:]}",
                  f" {digits} ", f"{digits[:2]}-{digits[2:4]}-{digits[4:]}",
                  f"{digits[:3]}-{digits[3:5]}-{digits[5:]}", f"{digits[:3]}/{digits[3:]}"]
    else:
        shapes = [digits, f"{digits[:2]}-{digits[2:4]}-{digits[4:]}", f"{digits[:3]}-{digits[3:]}",
                  f"{digits[:3]} {digits[3:]}", f" {digits}"]
    number = rng.choice(shapes)
    extension = ""
    if not mobile and rng.random() < 0.15:
        extension = rng.choice(["12", " 123", "1234 ", "mellék 21", "45"])
    if rng.random() < 0.02:  # numbers that were never typed properly
        number = rng.choice(["nincs", "?", "", "kérésre törölve"])
    return country, area_text, number, extension


def main():
    args = arguments(__doc__, customers=3000, seed=20261211)
    rng = random.Random(args.seed)
    writer = tsv_writer(args.outdir)

    ugyfel = writer("UGYFEL", ["UCODE", "NAME", "TOROLT", "RENDSZAMCODE", "ALVAZSZAM",
                               "ZOLDKARTYAERVENYES", "GARANCIAERVENYES", "MUSZAKIERVENYES"])
    rendszam = writer("RENDSZAM", ["RCODE", "RSZAM", "TOROLT"])
    cim = writer("CIM", ["CIMCODE", "IRANYITOSZAM", "VAROS", "UTCA", "HAZSZAM"])
    cimlink = writer("CIMLINK", ["CIMCODE", "CODE", "TABLE"])
    telefon = writer("TELEFON", ["TELCODE", "ORSZAG", "KORZET", "SZAM", "MELLEK"])
    telefonlink = writer("TELEFONLINK", ["TELCODE", "CODE", "TABLE"])

    rcode = cimcode = telcode = 0
    for ucode in range(1, args.customers + 1):
        deleted = "0x01" if rng.random() < 0.04 else "0x00"
        plate_code = 0
        green = warranty = inspection = 0
        chassis = ""
        if rng.random() < 0.88:
            rcode += 1
            plate_code = rcode
            row(rendszam, rcode, plate(rng), "0x01" if rng.random() < 0.03 else "0x00")
            chassis = vin(rng) if rng.random() < 0.9 else ""
            green = some_day(rng, 2024, 2027) if rng.random() < 0.75 else 0
            warranty = some_day(rng, 2024, 2029) if rng.random() < 0.45 else 0
            inspection = some_day(rng, 2025, 2028) if rng.random() < 0.85 else 0
        row(ugyfel, ucode, name_of(rng), deleted, plate_code, chassis, green, warranty, inspection)

        city, zips, landline_area = rng.choice(CITIES)
        for _ in range(rng.choices([0, 1, 2], weights=[4, 86, 10])[0]):
            cimcode += 1
            house = house_number(rng)
            row(cim, cimcode, rng.choice(zips), city, rng.choice(STREETS), house)
            row(cimlink, cimcode, ucode, CUSTOMER)
        for _ in range(rng.choices([0, 1, 2, 3], weights=[5, 55, 30, 10])[0]):
            telcode += 1
            row(telefon, telcode, *telephone(rng, landline_area))
            row(telefonlink, telcode, ucode, CUSTOMER)

    # Addresses and numbers of partners: links of another owner table.
    for _ in range(max(10, args.customers // 40)):
        city, zips, landline_area = rng.choice(CITIES)
        owner = rng.randint(1, args.customers)
        cimcode += 1
        row(cim, cimcode, rng.choice(zips), city, rng.choice(STREETS), f"{rng.randint(1, 99)}.")
        row(cimlink, cimcode, owner, PARTNER)
        telcode += 1
        row(telefon, telcode, *telephone(rng, landline_area))
        row(telefonlink, telcode, owner, PARTNER)

    for f in (ugyfel, rendszam, cim, cimlink, telefon, telefonlink):
        f.close()


if __name__ == "__main__":
    main()
