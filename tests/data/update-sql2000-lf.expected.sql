use [qtvconfig]
go
/****** object:  storedprocedure [dbo].[sp_msupd_regions]    script date: 2021-07-10 1:50:50 pm ******/
set ansi_nulls on
go
set quoted_identifier on
go
/****** Object:  StoredProcedure [dbo].[ sp_msupd_regions ] ******/
 
IF object_id('dbo.[sp_msupd_regions]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msupd_regions]
GO
---------------------------
create procedure [dbo].[sp_msupd_regions] 
 @c1 int,@c2 varchar(40),@c3 smallint,@pkc1 int
,@bitmap binary(1)
as
begin
update "regions" set
"region_name" = case substring(@bitmap,1,1) & 2 when 2 then @c2 else "region_name" end
,"sort_order" = case substring(@bitmap,1,1) & 4 when 4 then @c3 else "sort_order" end
where "region_id" = @pkc1
if @@rowcount = 0
	if @@microsoftversion>0x07320000
		exec sp_msreplraiserror 20598
end
go
