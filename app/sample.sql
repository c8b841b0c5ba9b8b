/* Sample data: four advertisers with credits and the links of their sites.
   Run after schema.sql with: strata sql Bannerdata < app/sample.sql
   The banners themselves (GIF files drawn at build time into
   build/app/sample-gifs) are loaded by scripts/load-sample with strata insert:

     ID  file        owner  link
     1   travel.gif  1      1
     2   books.gif   2      2
     3   music.gif   3      3
     4   coffee.gif  1      4
     5   sale.gif    4      none  (no link of its own: always a candidate;
                                   a link of 0 would keep it off every page
                                   that matches no link)
     6   news.gif    3      3

   Credits: 1000 impressions paid; 5 (blocked after five); -100 (served
   without limit, never debited); 1 (blocked after the first impression). */

INSERT INTO "User.dat" (ID, Name, Impresskto) VALUES (1, 'Wanderlust Travel', 1000);
INSERT INTO "User.dat" (ID, Name, Impresskto) VALUES (2, 'Corner Bookshop', 5);
INSERT INTO "User.dat" (ID, Name, Impresskto) VALUES (3, 'House Music Radio', -100);
INSERT INTO "User.dat" (ID, Name, Impresskto) VALUES (4, 'Friday Sale', 1);

INSERT INTO "Links.dat" (id, Link) VALUES (1, 'http://travel.example/');
INSERT INTO "Links.dat" (id, Link) VALUES (2, 'http://books.example/');
INSERT INTO "Links.dat" (id, Link) VALUES (3, 'http://radio.example/');
INSERT INTO "Links.dat" (id, Link) VALUES (4, 'http://travel.example/coffee.html');
