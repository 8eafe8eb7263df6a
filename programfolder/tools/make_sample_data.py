#!/usr/bin/env python3
"""Writes the sample data of the bundled program folder: the plain engine
lists in src/ (the build enciphers them into data/*.hlz), the category file,
the batch site list, a custom database, two sessions and a META tag set.

Every target points at the local demo host, so a fresh install can be tried
without sending anything to the outside web. INI files get CR LF line ends.

Run from anywhere: python3 programfolder/tools/make_sample_data.py"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
HOST = "http://127.0.0.1:8642"

# The session categories in the order of the session editor's drop-down.
CATEGORIES = ["Miscellaneous", "Automotive", "Business", "Communications", "Community", "Computers",
              "Consumer", "Education", "Employment", "Entertainment", "Finance", "Government", "Health",
              "Internet", "Manufacturing", "Media", "Medical", "Miscellaneous", "News", "Opportunities",
              "Personal", "Politics", "Publishing", "Recreation", "Reference", "Religion", "Sci-Tech",
              "Services", "Transportation", "Travel", "Web_Stuff"]

# Category types: what the target's form offers (label = value it expects).
# Cat1 is the short list of small FFA pages, Cat2 the ten sections of link
# directories (numeric ids), Cat3 the program's own thirty categories.
CAT_TABLES = {
    "Cat1": [("Business", "business"), ("Computers", "computers"), ("Education", "education"),
             ("Entertainment", "entertainment"), ("Government", "government"), ("Personal", "personal"),
             ("Miscellaneous", "misc")],
    "Cat2": [("Business", "101"), ("Computers", "102"), ("Education", "103"), ("Entertainment", "104"),
             ("Government", "105"), ("Personal", "106"), ("Health", "107"), ("Recreation", "108"),
             ("Web Stuff", "109"), ("Miscellaneous", "110")],
    # the thirty distinct names, alphabetical as the forms list them
    "Cat3": [(c, c) for c in sorted(set(CATEGORIES))],
}

# Session category -> label in each type's table.
CAT1_MAP = {"Automotive": "Business", "Business": "Business", "Communications": "Computers",
            "Community": "Personal", "Computers": "Computers", "Consumer": "Business",
            "Education": "Education", "Employment": "Business", "Entertainment": "Entertainment",
            "Finance": "Business", "Government": "Government", "Health": "Personal",
            "Internet": "Computers", "Manufacturing": "Business", "Media": "Entertainment",
            "Medical": "Personal", "Miscellaneous": "Miscellaneous", "News": "Entertainment",
            "Opportunities": "Business", "Personal": "Personal", "Politics": "Government",
            "Publishing": "Business", "Recreation": "Entertainment", "Reference": "Education",
            "Religion": "Personal", "Sci-Tech": "Computers", "Services": "Business",
            "Transportation": "Business", "Travel": "Entertainment", "Web_Stuff": "Computers"}
CAT2_MAP = dict(CAT1_MAP)
CAT2_MAP.update({"Health": "Health", "Medical": "Health", "Recreation": "Recreation",
                 "Travel": "Recreation", "Internet": "Web Stuff", "Web_Stuff": "Web Stuff",
                 "Community": "Personal", "Religion": "Personal"})

FIELDS = (["site_url", "cgi_url", "title", "url", "email", "desc", "cat", "cat_type", "first", "hidden",
           "last", "company", "address1", "address2", "city", "state", "zip", "phone", "fax", "method"] +
          ["key%d" % i for i in range(1, 17)] + ["country"])
assert len(FIELDS) == 37


def engine_line(name, **f):
    for k in f:
        assert k in FIELDS, k
    return name + "=" + "".join(f.get(k, "") + "|" for k in FIELDS)


def ffa(name, slug, method, style, cat_type="", hidden="", status=""):
    base = "/demo/%sffa/%s/" % (status, slug)
    site = HOST + "/demo/ffa/%s/links.htm" % slug
    if style == "a":
        f = dict(title="title", url="url", email="email", cat="section", first="name")
    elif style == "b":
        f = dict(title="sitename", url="newurl", email="reply_email", cat="selection", first="realname")
    else:
        f = dict(title="SiteTitle", url="URL", email="Email", cat="Section", first="Name",
                 desc="Description")
    cgi = HOST + base + ("links.cgi?action=add" if method == "GET" else "ffa.cgi")
    if not cat_type:
        f.pop("cat")
    return engine_line(name, site_url=site, cgi_url=cgi, cat_type=cat_type, hidden=hidden,
                       method=method, **f)


def classified(name, slug, method, cat_type, hidden, keywords=3):
    f = dict(title="ad_title", url="url", email="contact_email", desc="ad_text", cat="catagory",
             first="first_name", last="last_name", company="company", address1="street",
             address2="street2", city="city", state="state", zip="zip", phone="phone", fax="fax",
             country="country")
    for i in range(1, keywords + 1):
        f["key%d" % i] = "keyword%d" % i
    cgi = HOST + "/demo/classifieds/%s/post.cgi" % slug
    if method == "GET":
        cgi += "?cmd=post"
    return engine_line(name, site_url=HOST + "/demo/classifieds/%s/index.html" % slug, cgi_url=cgi,
                       cat_type=cat_type, hidden=hidden, method=method, **f)


def directory(name, slug, method, cat_type, hidden, keywords=5):
    f = dict(title="SiteTitle", url="URL", email="ContactEmail", desc="SiteDescription",
             cat="Category", first="ContactName", last="ContactLast", company="Organisation",
             country="Country")
    for i in range(1, keywords + 1):
        f["key%d" % i] = "kw%d" % i
    cgi = HOST + "/demo/directory/%s/suggest.cgi" % slug
    if method == "GET":
        cgi += "?step=2"
    return engine_line(name, site_url=HOST + "/demo/directory/%s/suggest.html" % slug, cgi_url=cgi,
                       cat_type=cat_type, hidden=hidden, method=method, **f)


def search(name, slug, method, kind, hidden="", cat_type="", status=""):
    site = HOST + "/demo/search/%s/addurl.html" % slug
    cgi = HOST + "/demo/%ssearch/%s/addurl.cgi" % (status, slug)
    if method == "GET":
        cgi += "?"
    if kind == "url":
        f = dict(url="url")
    elif kind == "urlmail":
        f = dict(url="url", email="email")
    elif kind == "q":
        f = dict(url="q", email="from")
    elif kind == "full":
        f = dict(title="title", url="url", email="email", desc="description", key1="keywords")
    elif kind == "contact":
        f = dict(url="newurl", email="contact_email", first="contact_name", title="sitetitle")
    else:  # "cat": a search engine with its own section list
        f = dict(title="title", url="url", email="email", desc="description", cat="category",
                 key1="keywords")
    return engine_line(name, site_url=site, cgi_url=cgi, cat_type=cat_type, hidden=hidden,
                       method=method, **f)


def data_engines():
    return [
        ffa("Acorn Links", "acorn", "POST", "a", "Cat1", "&action=add"),
        ffa("Bluebird FFA", "bluebird", "GET", "b", "Cat1", "&page=links"),
        ffa("Cascade Link Exchange", "cascade", "POST", "c", "Cat2", "&mode=ffa&list=main"),
        ffa("Driftwood Free Links", "driftwood", "POST", "a", "", "&action=add&section=general"),
        ffa("Ember Link Page", "ember", "GET", "a", "Cat1"),
        ffa("Foxglove FFA", "foxglove", "POST", "b", "Cat2", "&action=addlink"),
        ffa("Granite Links", "granite", "POST", "a", "Cat1", "&action=add", status="status/404/"),
        ffa("Heron Free For All", "heron", "POST", "c", "Cat3", "&ffa=1"),
        ffa("Indigo Link List", "indigo", "GET", "b", "Cat1", "&ffa=yes"),
        ffa("Juniper FFA", "juniper", "POST", "a", "Cat2", "&action=add&return=thanks.htm"),
        ffa("Kestrel Links", "kestrel", "POST", "c", "Cat1"),
        ffa("Lantern Free Links", "lantern", "GET", "a", "", "&section=misc"),
        ffa("Maple Link Board", "maple", "POST", "b", "Cat3", "&board=links"),
        ffa("Nutmeg FFA", "nutmeg", "POST", "a", "Cat1", "&action=add", status="status/302/"),
        ffa("Orchid Links", "orchid", "GET", "c", "Cat2", "&action=add"),
        classified("Pinecone Classifieds", "pinecone", "POST", "Cat3", "&cmd=post&days=30"),
        classified("Quarry Ads", "quarry", "POST", "Cat1", "&adtype=offer"),
        classified("Riverside Classifieds", "riverside", "GET", "Cat3", "&days=14", 2),
        classified("Saffron Ad Board", "saffron", "POST", "Cat2", "&board=main&adtype=offer", 4),
        classified("Tidewater Ads", "tidewater", "POST", "Cat3", "&cmd=post", 1),
        classified("Upland Classifieds", "upland", "GET", "Cat1", "&region=all", 3),
        classified("Valley Trader", "valley", "POST", "Cat2", "&days=60", 5),
        classified("Willow Want Ads", "willow", "POST", "Cat3", "&adtype=wanted", 2),
        classified("Yarrow Marketplace", "yarrow", "GET", "Cat3", "&lang=en", 6),
        classified("Zephyr Classifieds", "zephyr", "POST", "Cat1", "&cmd=post&notify=no", 3),
        directory("Amber Web Guide", "amber", "POST", "Cat3", "&action=suggest", 5),
        directory("Beacon Hill Directory", "beaconhill", "POST", "Cat2", "&action=suggest&level=1", 8),
        directory("Copper Site Index", "copper", "GET", "Cat3", "&lang=en", 3),
        directory("Dune Directory", "dune", "POST", "Cat2", "&action=add", 10),
        directory("Evergreen Web Index", "evergreen", "POST", "Cat3", "&action=suggest&free=1", 16),
    ]


def search_engines():
    return [
        search("AskQuill", "askquill", "GET", "url", "&lang=en"),
        search("Brightfind", "brightfind", "GET", "urlmail"),
        search("Cobalt Search", "cobalt", "POST", "full", "&action=add"),
        search("Dapple", "dapple", "GET", "q", "&cmd=addurl"),
        search("EchoSeek", "echoseek", "POST", "urlmail", "&submit=Add+URL"),
        search("Fathom Search", "fathom", "GET", "full", "&lang=en&country=any"),
        search("Glimmer", "glimmer", "GET", "url"),
        search("Hound Search", "hound", "POST", "contact", "&action=submit", status="status/503/"),
        search("Inkwell Search", "inkwell", "POST", "cat", "&action=add", "Cat3"),
        search("Jetstream Find", "jetstream", "GET", "urlmail", "&source=addurl"),
        search("Keystone Search", "keystone", "POST", "full"),
        search("Lookout", "lookout", "GET", "q", "&mode=add"),
        search("Meridian Search", "meridian", "POST", "cat", "&action=add", "Cat2"),
        search("Nimbus Find", "nimbus", "GET", "url", "&type=add"),
        search("Otter Search", "otter", "POST", "contact"),
        search("Pathfinder", "pathfinder", "GET", "full", "&lang=en"),
        search("Quest Index", "quest", "POST", "urlmail", "&action=addurl"),
        search("Radar Search", "radar", "GET", "url"),
        search("Sonar", "sonar", "POST", "cat", "&cmd=add", "Cat1"),
        search("Trawler", "trawler", "GET", "q", "&add=1"),
        search("Umbra Search", "umbra", "POST", "full", "&action=add&verify=email"),
        search("Vista Point", "vistapoint", "GET", "contact", "&lang=en"),
        search("Wayfarer", "wayfarer", "POST", "url", "&action=add"),
        search("Zenith Search", "zenith", "GET", "urlmail", "&region=world"),
    ]


def custom_engines():
    base = HOST + "/demo/custom/"
    return [
        engine_line("Harbour Town Links", site_url=base + "harbourtown/links.html",
                    cgi_url=base + "harbourtown/addlink.cgi", title="title", url="url", email="email",
                    desc="description", method="POST", hidden="&town=harbour"),
        engine_line("County Business Register", site_url=base + "county/register.html",
                    cgi_url=base + "county/register.cgi?form=1", title="business", url="url",
                    email="email", desc="summary", cat="category", cat_type="Cat2", first="firstname",
                    last="lastname", company="company", address1="address", city="town",
                    zip="postcode", phone="telephone", country="country", method="GET"),
        engine_line("Makers Guild Listing", site_url=base + "makers/join.html",
                    cgi_url=base + "makers/join.cgi", title="shopname", url="url", email="email",
                    desc="about", cat="craft", cat_type="Cat3", key1="tag1", key2="tag2", key3="tag3",
                    method="POST", hidden="&membership=free"),
        engine_line("Regional Web Ring", site_url=base + "webring/join.html",
                    cgi_url=base + "webring/join.cgi", title="sitename", url="url",
                    email="owneremail", first="owner", method="POST", hidden="&ring=regional&action=join"),
    ]


def check_demo_engines():
    """One engine in each state the engine health check tells apart."""
    check = HOST + "/demo/check/"
    ffa = dict(title="title", url="url", email="email", first="name", method="POST")
    return [
        engine_line("Acorn Links", site_url=HOST + "/demo/ffa/acorn/links.htm",
                    cgi_url=HOST + "/demo/ffa/acorn/ffa.cgi", hidden="&action=add", **ffa),
        engine_line("Script Only Links", cgi_url=check + "addlink.cgi", **ffa),
        engine_line("Redesigned Directory", site_url=check + "redesigned.html",
                    cgi_url=check + "suggest.cgi", desc="description", **ffa),
        engine_line("Relocated Links", site_url=check + "relocated.html",
                    cgi_url=check + "relocated.cgi", **ffa),
        engine_line("Closed Link Board", site_url=check + "closed.html", cgi_url=check + "closed.cgi",
                    **ffa),
        engine_line("Members Only Index", site_url=check + "members.html",
                    cgi_url=check + "members.cgi", **ffa),
        engine_line("Lapsed Domain Links", site_url="http://lapsed-domain.invalid/links.htm",
                    cgi_url="http://lapsed-domain.invalid/ffa.cgi", **ffa),
        engine_line("Unplugged Ads", site_url="http://127.0.0.1:1/ads.html",
                    cgi_url="http://127.0.0.1:1/post.cgi", **ffa),
    ]


BATCH_SITE = "linkring"
BATCH_PAGES = ["ffa1.html", "ffa2.html", "business.html", "computers.html", "general.html",
               "new-links.html"]


def write_crlf(rel, lines, final_newline=True):
    path = os.path.join(ROOT, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    text = "\r\n".join(lines) + ("\r\n" if final_newline and lines else "")
    with open(path, "wb") as f:
        f.write(text.encode("utf-8"))


def ini(sections):
    out = []
    for name, entries in sections:
        out.append("[%s]" % name)
        out += ["%s=%s" % kv for kv in entries]
    return out


def category_file():
    types = ["Cat1", "Cat2", "Cat3"]
    sections = [("CatType", [(t, t) for t in types])]
    for t in types:
        sections.append((t, CAT_TABLES[t]))
    maps = {"Cat1": CAT1_MAP, "Cat2": CAT2_MAP, "Cat3": {c: c for c in CATEGORIES}}
    for t in types:
        values = dict(CAT_TABLES[t])
        entries = [(c, values[maps[t][c]]) for c in dict.fromkeys(CATEGORIES)]
        sections.append(("Sub" + t, entries))
    write_crlf("data/catagory.hlx", ini(sections))


def batch_file():
    site = HOST + "/demo/batch/%s/" % BATCH_SITE
    write_crlf("data/batch.hlx", ini([
        ("batchlist", [("127.0.0.1:8642/demo/batch/%s/" % BATCH_SITE, BATCH_SITE)]),
        ("count", [("count", str(len(BATCH_PAGES)))]),
        ("batchsites", [(BATCH_SITE, "1")]),
        (BATCH_SITE, [("count", str(len(BATCH_PAGES))), ("site", site + "info.html"),
                      ("parse", "<!-- links -->"), ("title", "title"), ("url", "url"),
                      ("email", "email"), ("catagory", "section"), ("cattype", "Cat1"),
                      ("description", "description"), ("pagename", "all"),
                      ("cgiur", site + "submit.cgi")]),
    ]))
    write_crlf("src/%s.txt" % BATCH_SITE, [site + p for p in BATCH_PAGES])


SESSIONS = [
    ("Garden Tools", [
        ("url", "http://www.example.com/"), ("title", "Hand tools for small gardens"),
        ("email", "sales@example.com"),
        ("description", "Spades, forks, hoes and pruners made to last, sold direct from our workshop "
                        "with a ten year guarantee."),
        ("catagory", "Business"), ("name", "Alice"), ("last", "Marsh"),
        ("company", "Garden Tools Ltd"), ("address1", "1 Main Street"), ("address2", "Unit 4"),
        ("country", "Anyland"), ("city", "Anytown"), ("state", "Greenshire"), ("phone", "555 0100"),
        ("fax", "555 0101"), ("zip", "12345")],
     ["garden", "tools", "spades", "forks", "hoes", "pruners", "shears", "trowels", "watering cans",
      "wheelbarrows", "gardening", "hand tools", "allotment", "workshop", "guarantee", "rakes"]),
    ("Harbour Bakery", [
        ("url", "http://www.example.org/bakery/"), ("title", "Harbour Bakery - bread baked at dawn"),
        ("email", "orders@example.org"),
        ("description", "Sourdough, rye and seeded loaves, cakes for every occasion and next morning "
                        "delivery around the harbour."),
        ("catagory", "Consumer"), ("name", "Tom"), ("last", "Baker"),
        ("company", "Harbour Bakery"), ("address1", "12 Quay Road"), ("address2", "The Old Sail Loft"),
        ("country", "Anyland"), ("city", "Port Example"), ("state", "Coastshire"),
        ("phone", "555 0142"), ("fax", "555 0143"), ("zip", "54321")],
     ["bakery", "bread", "sourdough", "rye", "cakes", "pastries", "wedding cakes", "delivery",
      "harbour", "breakfast", "croissants", "organic flour", "birthday cakes", "scones", "baguettes",
      "local food"]),
]


def sessions():
    for name, fields, keys in SESSIONS:
        entries = fields + [("key%d" % (i + 1), k) for i, k in enumerate(keys)]
        assert len(entries) == 32
        write_crlf("data/session/%s.hlx" % name, ini([(name, entries)]))
    write_crlf("data/session/session.hlx",
               ini([("Session", [("Count", str(len(SESSIONS) - 1))]),
                    ("List", [(str(i), s[0]) for i, s in enumerate(SESSIONS)])]))


def meta():
    name = "Garden Tools"
    entries = [("url", "http://www.example.com/"), ("title", "Hand tools for small gardens"),
               ("author", "Alice Marsh"),
               ("description", "Spades, forks, hoes and pruners made to last."),
               ("copyright", "Garden Tools Ltd"), ("creator", "Garden Tools Ltd"),
               ("publisher", "Garden Tools Ltd"), ("distribution", "Global"), ("rating", "General"),
               ("revisit", "14 Days"), ("day", "Fri"), ("date", "31"), ("month", "Dec"), ("year", "2010"),
               ("charset", "ISO-8859-1"), ("key1", "garden, tools, spades, forks, hoes, pruners"),
               ("owner", "sales@example.com"), ("language", "en-GB"), ("robots", "All"),
               ("comment0", "Garden Tools Ltd home page"), ("comment1", "Prices include delivery"),
               ("comcount", "1")]
    write_crlf("data/meta/%s.tag" % name, ini([(name, entries)]))
    write_crlf("data/meta/meta.hlx", ini([("Session", [("Count", "0")]), ("List", [("0", name)])]))


def main():
    write_crlf("src/data.txt", data_engines())
    write_crlf("src/engines.txt", search_engines())
    write_crlf("data/custom/custom.hlx", custom_engines())
    write_crlf("data/custom/check-demo.hlx", check_demo_engines())
    category_file()
    batch_file()
    sessions()
    meta()
    write_crlf("zkt.ini", ini([("Proxy", [("ProxyHost", ""), ("ProxyPassword", ""), ("ProxyPort", ""),
                                          ("ProxyUserName", ""), ("KeyProxy", "0")]),
                               ("Crawler", [("SearchBase", HOST + "/altavista")])]))
    open(os.path.join(ROOT, "data", "exclude.tmp"), "wb").close()


if __name__ == "__main__":
    main()
