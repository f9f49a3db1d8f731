-- The users of the throw-away cluster, with passwords published here: never
-- on a site's server.
-- The user of the sample session (its single-sign-on pair is dupont/secret).
CREATE ROLE dupont LOGIN PASSWORD 'secret' IN ROLE kup_utilisateur;

-- The users of the tests: one application user, one whose logon check waits
-- for a lock the tests may hold, one role that may log on to the server but
-- is not an application user.
CREATE ROLE kup_test LOGIN PASSWORD 'kup_test_mdp' IN ROLE kup_utilisateur;
CREATE ROLE kup_lent LOGIN PASSWORD 'kup_lent_mdp' IN ROLE kup_utilisateur;
CREATE ROLE kup_intrus LOGIN PASSWORD 'kup_intrus_mdp';

-- Nobody else writes in this cluster's public schema.
REVOKE ALL ON SCHEMA public FROM PUBLIC;
