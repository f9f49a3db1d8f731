-- The HTML report merge. The container binds, in this order: the template
-- (in-out), the identifier list, the result (in-out, bound as one blank) and
-- two status values it never reads. A site whose merge does more keeps this
-- signature; the body here replaces {LIST_IDENT} by the identifier list and
-- {UTILISATEUR} by the user of the session, both written as HTML text.
CREATE SCHEMA IF NOT EXISTS pk_rap_html;
GRANT USAGE ON SCHEMA pk_rap_html TO kup_utilisateur;

-- Text made safe inside an element and inside an attribute quoted either way.
CREATE OR REPLACE FUNCTION pk_rap_html.texte_html(t text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
  SELECT replace(replace(replace(replace(replace(coalesce(t, ''),
    '&', '&amp;'), '<', '&lt;'), '>', '&gt;'), '"', '&quot;'), '''', '&#39;')
$$;

-- Made only where there is none: a merge of the site's own, installed in its
-- place, is kept when these scripts run again.
DO $body$
BEGIN
  IF EXISTS (SELECT FROM pg_proc WHERE proname = 'fusionnerhtml' AND pronamespace = 'pk_rap_html'::regnamespace) THEN
    RAISE NOTICE 'pk_rap_html.fusionnerhtml existe déjà : conservée';
    RETURN;
  END IF;
  CREATE PROCEDURE pk_rap_html.fusionnerhtml(
    INOUT fic_html text,
    list_ident text,
    INOUT fic_res text,
    OUT coderr text,
    OUT liberr text)
  LANGUAGE plpgsql AS $$
  BEGIN
    IF fic_html IS NULL THEN
      fic_res := NULL;
      coderr := '1';
      liberr := 'Modèle HTML vide';
      RETURN;
    END IF;
    fic_res := replace(replace(fic_html,
                 '{LIST_IDENT}', pk_rap_html.texte_html(list_ident)),
                 '{UTILISATEUR}', pk_rap_html.texte_html(session_user));
    coderr := NULL;
    liberr := NULL;
  END
  $$;
END
$body$;
REVOKE EXECUTE ON ALL ROUTINES IN SCHEMA pk_rap_html FROM PUBLIC;
GRANT EXECUTE ON ALL ROUTINES IN SCHEMA pk_rap_html TO kup_utilisateur;
