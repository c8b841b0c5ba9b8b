/* The six tables of the banner service, in the folder Bannerdata.
   Run once with: strata sql Bannerdata < app/schema.sql

   Widths: text columns hold up to 250 characters, the most a string field
   of the table format holds. The visitor key (address prefix and the whole
   user-agent text) is compared whole, so Visitor.request takes all 250; the
   program cuts longer keys to that width before it builds a statement, so
   that a stored key always equals the key of the next request. Time strings
   (2026-12-08  04:03:24) are text of exactly 20 characters, which orders
   them in time.

   Indexes: a condition "column op constant" is answered from an index whose
   first column is that column (case-sensitive for a string column, as plain
   string comparisons need), unless the range holds over 90 % of the rows.
   Each look-up of a request has one selective such condition, and that
   column leads an index: Visitor.request, PageImpress.Visitor, Banner.ID,
   User.ID, Visitor.id, Pages.ID. Columns whose conditions match many rows
   (PageImpress.Label: a few site labels over all visits) lead no index of
   their own, so the index of the selective condition alone picks the rows
   and the other condition is tested on those few. A condition on
   LOWER(column) is never answered from an index: the link look-up reads all
   of Links (a short list), and the page look-up takes the Pages rows of its
   site label (Nr) and tests their page address one by one. */

CREATE TABLE IF NOT EXISTS "Banner.dat" (
  ID INTEGER NOT NULL,
  Banner BLOB(1024, 2),
  Link INTEGER,
  User INTEGER,
  Blocked BOOLEAN DEFAULT FALSE,
  impress INTEGER DEFAULT 0,
  PRIMARY KEY (ID)
) DESCRIPTION 'Banners: the GIF, the owner, the own link, blocking, impressions'
  BLOB BLOCK SIZE 1024;
/* The blocking sweep joins on the owner; the choice filters on Blocked and Link. */
CREATE INDEX IF NOT EXISTS BannerUser ON "Banner.dat" (User);
CREATE INDEX IF NOT EXISTS BannerBlocked ON "Banner.dat" (Blocked);
CREATE INDEX IF NOT EXISTS BannerLink ON "Banner.dat" (Link);

CREATE TABLE IF NOT EXISTS "User.dat" (
  ID INTEGER NOT NULL,
  Name VARCHAR(60),
  Impresskto INTEGER DEFAULT 0,
  PRIMARY KEY (ID)
) DESCRIPTION 'Advertisers and their impression credit';
CREATE INDEX IF NOT EXISTS UserCredit ON "User.dat" (Impresskto);

CREATE TABLE IF NOT EXISTS "Visitor.dat" (
  id AUTOINC,
  request VARCHAR(250),
  LastReq VARCHAR(20),
  SiteNo INTEGER,
  LastKenn VARCHAR(250),
  PRIMARY KEY (id)
) DESCRIPTION 'Visits: a visitor key seen within the last 90 minutes';
CREATE INDEX IF NOT EXISTS VisitorRequest ON "Visitor.dat" (request);
CREATE INDEX IF NOT EXISTS VisitorLastReq ON "Visitor.dat" (LastReq);

CREATE TABLE IF NOT EXISTS "PageImpress.dat" (
  Visitor INTEGER,
  Label VARCHAR(250),
  Time VARCHAR(20),
  BannerID INTEGER
) DESCRIPTION 'The banner each visit was shown on each site label';
CREATE INDEX IF NOT EXISTS PageImpressVisitor ON "PageImpress.dat" (Visitor);

CREATE TABLE IF NOT EXISTS "Links.dat" (
  id INTEGER NOT NULL,
  Link VARCHAR(250),
  PRIMARY KEY (id)
) DESCRIPTION 'Page addresses the banners link to';

CREATE TABLE IF NOT EXISTS "Pages.dat" (
  ID AUTOINC,
  Page VARCHAR(250),
  Nr VARCHAR(250),
  Time VARCHAR(20),
  valid INTEGER,
  "count" INTEGER,
  PRIMARY KEY (ID)
) DESCRIPTION 'View statistics per page address and site label';
CREATE INDEX IF NOT EXISTS PagesNr ON "Pages.dat" (Nr);
